#include "platform/linux/MessageBoxConfirmation.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace tw {

bool MessageBoxConfirmation::ask(const Question& question) {
    // Without a widget application there is no way to ask; the user did ask.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return true;
    QMessageBox box;
    box_ = &box;
    box.setIcon(QMessageBox::Question);
    box.setWindowTitle(question.title);
    box.setText(question.text);
    box.setInformativeText(question.informativeText);
    QPushButton* cancel = box.addButton(question.cancelLabel, QMessageBox::ActionRole);
    QPushButton* confirm = box.addButton(question.confirmLabel, QMessageBox::ActionRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    // Bring the question to the front once it is on screen.
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    box.exec();
    const bool confirmed = box.clickedButton() == confirm;
    box_ = nullptr;
    return confirmed;
}

void MessageBoxConfirmation::raise() {
    if (!box_) return;
    box_->raise();
    box_->activateWindow();
}

void MessageBoxConfirmation::dismiss() {
    if (box_) box_->done(0);
}

}  // namespace tw
