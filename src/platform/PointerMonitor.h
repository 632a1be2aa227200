#pragma once

// Watching the pointer anywhere on the desktop: button presses and movement outside this
// application's windows too. Watches are tokens; the monitor listens to the window system only
// while at least one watch exists, so an island that watches nothing costs nothing.
//
// Locations are in the island's y-up global coordinates (see support/Geometry.h).

#include <QObject>
#include <functional>
#include <map>
#include <memory>

#include "support/Geometry.h"

namespace tw {

struct PointerEvent {
    enum class Type { leftDown, rightDown, moved };
    Type type = Type::moved;
    PointF location;  // where the pointer was, y-up global
    // The pointer was over one of this application's own windows (those events are seen by the
    // application's own event handling as well).
    bool overApplication = false;
};

namespace pointermask {
inline constexpr unsigned leftDown = 1u << 0;
inline constexpr unsigned rightDown = 1u << 1;
inline constexpr unsigned moved = 1u << 2;
inline constexpr unsigned buttons = leftDown | rightDown;
}  // namespace pointermask

// Removes its watch when destroyed.
class PointerWatch {
public:
    virtual ~PointerWatch() = default;
};

class PointerMonitor : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const PointerEvent&)>;

    explicit PointerMonitor(QObject* parent = nullptr);
    ~PointerMonitor() override;

    // The pointer's current position.
    virtual PointF location() const = 0;
    // Whether the monitor is polling the pointer position (only a fallback, only while watched).
    virtual bool isPolling() const = 0;

    // Calls `handler` on the main thread for every event of a type in `mask` until the returned
    // token is destroyed. Nothing when the monitor cannot watch at all.
    [[nodiscard]] std::unique_ptr<PointerWatch> watch(unsigned mask, Handler handler);

    // The union of the masks of the live watches (0 when nothing is watched).
    unsigned watchedMask() const;
    int watchCount() const { return static_cast<int>(watches_.size()); }

Q_SIGNALS:
    // Another window became the active one (the island follows the pointer to its screen).
    void activeWindowChanged();

protected:
    // Delivers an event to every live watch interested in its type.
    void deliver(const PointerEvent& event);
    // The watched mask changed; start or stop listening accordingly.
    virtual void watchedMaskChanged(unsigned mask) = 0;
    // Whether watches can be installed at all.
    virtual bool canWatch() const { return true; }

private:
    class Token;
    struct Entry {
        unsigned mask = 0;
        std::shared_ptr<Handler> handler;
    };
    void remove(quint64 id);
    std::map<quint64, Entry> watches_;
    quint64 nextId_ = 1;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tw
