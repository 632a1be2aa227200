#include "platform/linux/MessageBoxConfirmation.h"

#include <QApplication>
#include <QIcon>
#include <QLayout>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

namespace tw {

std::unique_ptr<QMessageBox> makeQuestionBox(const Confirmation::Question& question,
                                             QPushButton** confirmButton) {
    auto owned = std::make_unique<QMessageBox>();
    QMessageBox& box = *owned;
    // The island's dark look, the theme's question icon, and a size that fits the texts.
    QPalette dark = box.palette();
    dark.setColor(QPalette::Window, QColor(22, 22, 22));
    dark.setColor(QPalette::WindowText, QColor(255, 255, 255, 235));
    dark.setColor(QPalette::Text, QColor(255, 255, 255, 235));
    dark.setColor(QPalette::Button, QColor(44, 44, 44));
    dark.setColor(QPalette::ButtonText, QColor(255, 255, 255, 235));
    box.setPalette(dark);
    const QIcon icon = QIcon::fromTheme(QStringLiteral("dialog-question"),
                                        box.style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    box.setIconPixmap(icon.pixmap(48, 48));
    box.setWindowTitle(question.title);
    box.setText(question.text);
    box.setInformativeText(question.informativeText);
    QPushButton* cancel = box.addButton(question.cancelLabel, QMessageBox::ActionRole);
    QPushButton* confirm = box.addButton(question.confirmLabel, QMessageBox::ActionRole);
    if (question.accent.isValid()) {
        QPalette accent = dark;
        accent.setColor(QPalette::Button, question.accent);
        accent.setColor(QPalette::ButtonText, QColor(18, 18, 18));
        confirm->setPalette(accent);
    }
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (QLayout* layout = box.layout()) layout->setSizeConstraint(QLayout::SetFixedSize);
    if (confirmButton) *confirmButton = confirm;
    return owned;
}

bool MessageBoxConfirmation::ask(const Question& question) {
    // Without a widget application there is no way to ask; the user did ask.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return true;
    QPushButton* confirm = nullptr;
    const std::unique_ptr<QMessageBox> owned = makeQuestionBox(question, &confirm);
    QMessageBox& box = *owned;
    box_ = &box;
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
