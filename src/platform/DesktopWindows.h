#pragma once

// What the window system does for the program's own windows beyond what Qt offers: keeping a
// window on every workspace and out of the taskbar, and whether a compositor draws translucent
// windows.

#include <QObject>

class QWindow;

namespace tw {

class WindowHints {
public:
    enum class Layer { above, below };

    virtual ~WindowHints() = default;
    // Asks the window manager to keep `window` on every workspace, out of the taskbar and the
    // pager, above or below the other windows. Before the window is mapped the hints are
    // written for the window manager to read; once mapped it is asked directly. Does nothing
    // where the window system has no such hints.
    virtual void keepOnEveryWorkspace(QWindow& window, Layer layer) = 0;
};

// Whether a compositing manager runs, followed as it starts and stops.
class CompositorWatch : public QObject {
    Q_OBJECT
public:
    explicit CompositorWatch(QObject* parent = nullptr) : QObject(parent) {}
    ~CompositorWatch() override = default;

    virtual bool runs() const = 0;

Q_SIGNALS:
    // A compositor started or stopped (not for a new owner replacing the old one).
    void runsChanged(bool runs);
};

}  // namespace tw
