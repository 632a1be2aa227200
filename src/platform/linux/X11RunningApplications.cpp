#include "platform/linux/X11RunningApplications.h"

#include <algorithm>
#include <cstdlib>

#include <xcb/xcb.h>

#include <unistd.h>

#include "platform/linux/DesktopEntries.h"

namespace tw {

namespace {

// Whether two windows' applications are the same one: the same desktop entry id and process;
// windows that tell neither are told apart by their class.
bool sameApplication(const RunningApplication& a, const RunningApplication& b) {
    if (a.desktopId != b.desktopId || a.pid != b.pid) return false;
    return !(a.desktopId.isEmpty() && a.pid == 0) || a.wmClass == b.wmClass;
}

}  // namespace

class X11RunningApplications::Watch final : public ApplicationWatch {
public:
    explicit Watch(X11RunningApplications* owner) : owner_(owner) {}
    ~Watch() override {
        if (owner_) owner_->release();
    }

private:
    QPointer<X11RunningApplications> owner_;
};

std::unique_ptr<X11RunningApplications> X11RunningApplications::create(DesktopEntries& entries,
                                                                       QObject* parent) {
    auto windows = X11ClientWindows::connect();
    if (!windows) return nullptr;
    return std::unique_ptr<X11RunningApplications>(
        new X11RunningApplications(std::move(windows), entries, parent));
}

X11RunningApplications::X11RunningApplications(std::unique_ptr<X11ClientWindows> windows,
                                               DesktopEntries& entries, QObject* parent)
    : RunningApplications(parent),
      windows_(std::move(windows)),
      entries_(entries),
      ownPid_(::getpid()) {
    notifier_ = new QSocketNotifier(windows_->fileDescriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &X11RunningApplications::readEvents);
}

X11RunningApplications::~X11RunningApplications() {
    delete notifier_;  // before the connection's socket closes
}

quint32 X11RunningApplications::selectedRootEvents() const {
    const quint32 mask = windows_->selectedRootEvents();
    readQueuedLater();
    return mask;
}

QList<X11RunningApplications::Window> X11RunningApplications::clientWindows() const {
    return clientWindows(windows_->clientList());
}

QList<X11RunningApplications::Window> X11RunningApplications::clientWindows(
    const QList<quint32>& ids) const {
    // Read afresh every time (one round trip for all windows): the server hands the ids of a
    // client that went away to the next one, so what an id told before may not hold now.
    const QHash<quint32, X11ClientWindows::Facts> facts = windows_->facts(ids);
    QList<Window> out;
    for (const quint32 id : ids) {
        const auto it = facts.constFind(id);
        if (it == facts.constEnd()) continue;  // gone meanwhile
        Window w;
        w.id = id;
        w.application.desktopId = entries_.desktopIdFor(it->identity);
        w.application.wmClass = it->identity.wmClass;
        w.application.pid = it->pid;
        w.application.executable = it->identity.executable;
        w.own = it->local && it->pid == ownPid_;
        out << w;
    }
    return out;
}

std::optional<RunningApplication> X11RunningApplications::applicationOf(quint32 window) const {
    if (window == 0) return std::nullopt;
    const QList<Window> found = clientWindows(QList<quint32>{window});
    if (found.isEmpty()) return std::nullopt;
    return found.front().application;
}

std::optional<RunningApplication> X11RunningApplications::frontmost() const {
    const auto app = applicationOf(windows_->activeWindow());
    readQueuedLater();
    return app;
}

QList<RunningApplication> X11RunningApplications::running(const QString& desktopId) const {
    QList<RunningApplication> apps;
    if (desktopId.isEmpty()) return apps;
    for (const Window& w : clientWindows()) {
        if (w.application.desktopId != desktopId) continue;
        const bool listed = std::any_of(apps.cbegin(), apps.cend(), [&](const auto& a) {
            return sameApplication(a, w.application);
        });
        if (!listed) apps << w.application;
    }
    readQueuedLater();
    return apps;
}

bool X11RunningApplications::isHidden(const RunningApplication& application) const {
    const bool shown = isShown(application);
    readQueuedLater();
    return !shown;
}

void X11RunningApplications::hide(const RunningApplication& application) {
    QList<quint32> ids;
    for (const Window& w : clientWindows()) {
        // This program's own windows stay, whatever it is asked.
        if (!w.own && sameApplication(w.application, application)) ids << w.id;
    }
    const QHash<quint32, bool> iconic = windows_->iconic(ids);
    for (auto it = iconic.cbegin(); it != iconic.cend(); ++it) {
        if (!it.value()) windows_->iconify(it.key());
    }
    windows_->flush();
    // A hidden application is no longer in front: bringing it back is an activation, even if the
    // window manager never shows "no active window" in between.
    if (!ids.isEmpty() && activeOwner_ && sameApplication(*activeOwner_, application))
        activeOwner_.reset();
    readQueuedLater();
}

std::unique_ptr<ApplicationWatch> X11RunningApplications::watch() {
    if (watchCount_++ == 0) {
        windows_->selectRootPropertyChanges(true);
        // Read after selecting, so that a change in between is not missed.
        known_ = clientWindows();
        activeOwner_ = applicationOf(windows_->activeWindow());
        readQueuedLater();
    }
    return std::make_unique<Watch>(this);
}

void X11RunningApplications::release() {
    if (watchCount_ == 0 || --watchCount_ > 0) return;
    windows_->selectRootPropertyChanges(false);
    known_.clear();
    activeOwner_.reset();
}

void X11RunningApplications::readQueuedLater() const {
    if (watchCount_ == 0 || readQueued_) return;
    readQueued_ = true;
    auto* self = const_cast<X11RunningApplications*>(this);
    QMetaObject::invokeMethod(
        self,
        [self] {
            self->readQueued_ = false;
            self->readEvents();
        },
        Qt::QueuedConnection);
}

void X11RunningApplications::readEvents() {
    const QPointer<X11RunningApplications> self(this);
    for (;;) {
        bool list = false;
        bool active = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(windows_->connection())) {
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
                const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(event);
                list = list || windows_->isClientList(p->window, p->atom);
                active = active || windows_->isActiveWindow(p->window, p->atom);
            }
            std::free(event);
        }
        if (windows_->broken()) {
            // The server went away: stop listening rather than spin on a dead socket.
            notifier_->setEnabled(false);
            return;
        }
        // Events that arrive after the last watch ended are stale.
        if (watchCount_ == 0 || (!list && !active)) return;
        // A launch comes before the activation of the same application, as it happened.
        if (list) clientListChanged();
        if (!self || watchCount_ == 0) return;
        if (active) activeWindowChanged();
        if (!self) return;
        // The round trips above may have queued more events: read on.
    }
}

void X11RunningApplications::clientListChanged() {
    const QList<Window> now = clientWindows();
    QList<RunningApplication> launched;
    for (const Window& w : now) {
        // The same window: the same id in the same process (an id may pass to a new client).
        const auto same = [&](const Window& k) {
            return k.id == w.id && k.application.pid == w.application.pid;
        };
        if (std::any_of(known_.cbegin(), known_.cend(), same)) continue;
        const auto ranBefore = [&](const Window& k) {
            return sameApplication(k.application, w.application);
        };
        if (std::any_of(known_.cbegin(), known_.cend(), ranBefore)) continue;
        const auto reported = [&](const RunningApplication& a) {
            return sameApplication(a, w.application);
        };
        if (std::none_of(launched.cbegin(), launched.cend(), reported)) launched << w.application;
    }
    known_ = now;
    const QPointer<X11RunningApplications> self(this);
    for (const RunningApplication& app : std::as_const(launched)) {
        Q_EMIT this->launched(app);
        if (!self || watchCount_ == 0) return;
    }
}

void X11RunningApplications::activeWindowChanged() {
    const quint32 window = windows_->activeWindow();
    if (window == 0) {
        // Window managers pass through "no active window" between any two windows, those of one
        // application included: that is no change of application. An application that hid or
        // closed all its windows meanwhile is no longer in front, though, and bringing it back
        // is an activation.
        if (activeOwner_ && !isShown(*activeOwner_)) activeOwner_.reset();
        return;
    }
    const auto owner = applicationOf(window);
    if (!owner || (activeOwner_ && sameApplication(*activeOwner_, *owner))) return;
    activeOwner_ = owner;
    Q_EMIT activated(*owner);
}

bool X11RunningApplications::isShown(const RunningApplication& application) const {
    QList<quint32> ids;
    for (const Window& w : clientWindows()) {
        if (sameApplication(w.application, application)) ids << w.id;
    }
    const QHash<quint32, bool> iconic = windows_->iconic(ids);
    return std::any_of(iconic.cbegin(), iconic.cend(), [](bool i) { return !i; });
}

}  // namespace tw
