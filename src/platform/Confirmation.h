#pragma once

// Asking the user to confirm an action, with a Cancel and a confirming button. The question is
// modal: `ask` returns once the user has answered (the event loop runs meanwhile).

#include <QColor>
#include <QString>

namespace tw {

class Confirmation {
public:
    struct Question {
        QString title;            // the window title
        QString text;             // the question itself
        QString informativeText;  // what happens
        QString confirmLabel;     // the confirming button, right of Cancel
        QString cancelLabel;      // the default and escape button
        QColor accent;            // the confirming button's colour; invalid: the theme's
    };

    virtual ~Confirmation() = default;
    // Shows the question in front of every window and waits for the answer: true for the
    // confirming button; false for Cancel, Escape, closing the window or `dismiss`.
    virtual bool ask(const Question& question) = 0;
    // Whether a question is open now.
    virtual bool isAsking() const = 0;
    // Brings the open question to the front.
    virtual void raise() = 0;
    // Closes the open question as if Cancel was chosen.
    virtual void dismiss() = 0;
};

}  // namespace tw
