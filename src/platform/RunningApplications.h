#pragma once

// The applications that run on the desktop, as the window system shows them: which one is in
// front, which ones start, and hiding one. On X11 an application is the set of top-level windows
// that share a desktop entry id (or, when none matches, a process).

#include <QList>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace tw {

// One running application.
struct RunningApplication {
    // Its desktop entry id without ".desktop" ("firefox-esr", "org.gnome.TextEditor"); empty when
    // no installed entry matched it.
    QString desktopId;
    QString wmClass;     // the class part of WM_CLASS of its windows (may be empty)
    qint64 pid = 0;      // _NET_WM_PID; 0 when unknown
    QString executable;  // the process's executable; empty when unknown

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// While a watch is held, `launched` and `activated` are reported; without one nothing is watched.
class ApplicationWatch {
public:
    virtual ~ApplicationWatch() = default;
};

class RunningApplications : public QObject {
    Q_OBJECT
public:
    explicit RunningApplications(QObject* parent = nullptr) : QObject(parent) {}
    ~RunningApplications() override = default;

    // The application of the active window, if any.
    virtual std::optional<RunningApplication> frontmost() const = 0;
    // Every running instance (one per process) of the application with this desktop entry id.
    virtual QList<RunningApplication> running(const QString& desktopId) const = 0;
    // Whether every top-level window of the application is iconic (or it has none).
    virtual bool isHidden(const RunningApplication& application) const = 0;
    // Iconifies every top-level window of the application. The window manager may refuse.
    virtual void hide(const RunningApplication& application) = 0;
    // Starts following launches and activations; they are followed while any watch lives.
    [[nodiscard]] virtual std::unique_ptr<ApplicationWatch> watch() = 0;

Q_SIGNALS:
    // An application showed its first window.
    void launched(const tw::RunningApplication& application);
    // Another application's window became the active one.
    void activated(const tw::RunningApplication& application);
};

}  // namespace tw
