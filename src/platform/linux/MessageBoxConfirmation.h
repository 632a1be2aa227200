#pragma once

#include <QPointer>
#include <memory>

#include "platform/Confirmation.h"

class QMessageBox;
class QPushButton;

namespace tw {

// The question as a QMessageBox on top of every window, its two buttons in one role so that they
// keep their order on every desktop's button layout.
class MessageBoxConfirmation final : public Confirmation {
public:
    bool ask(const Question& question) override;
    bool isAsking() const override { return !box_.isNull(); }
    void raise() override;
    void dismiss() override;

private:
    QPointer<QMessageBox> box_;
};

// The question's message box, not yet shown; `confirmButton` receives its confirming button.
std::unique_ptr<QMessageBox> makeQuestionBox(const Confirmation::Question& question,
                                             QPushButton** confirmButton = nullptr);

}  // namespace tw
