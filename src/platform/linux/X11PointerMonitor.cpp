#include "platform/linux/X11PointerMonitor.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <QCursor>
#include <QGuiApplication>
#include <QRegion>
#include <QSocketNotifier>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/linux/XcbAtom.h"
#include "support/QtCoordinates.h"

namespace tw {

namespace {

constexpr int pollIntervalMs = 50;

bool haveGui() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

X11PointerMonitor::X11PointerMonitor(QObject* parent) : PointerMonitor(parent) {
    pollTimer_.setInterval(pollIntervalMs);
    connect(&pollTimer_, &QTimer::timeout, this, &X11PointerMonitor::poll);

    if (qEnvironmentVariableIsEmpty("DISPLAY")) return;
    int screenNumber = 0;
    connection_ = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) return;
    root_ = it.data->root;

    // Workspace and active-window changes: property changes on the root window.
    activeWindowAtom_ = internAtom(connection_, "_NET_ACTIVE_WINDOW");
    currentDesktopAtom_ = internAtom(connection_, "_NET_CURRENT_DESKTOP");
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &events);

    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(connection_, &xcb_input_id);
    if (ext && ext->present) {
        auto cookie = xcb_input_xi_query_version(connection_, 2, 2);
        xcb_input_xi_query_version_reply_t* version =
            xcb_input_xi_query_version_reply(connection_, cookie, nullptr);
        if (version && version->major_version >= 2) xiOpcode_ = ext->major_opcode;
        free(version);
    }
    xcb_flush(connection_);

    notifier_ =
        new QSocketNotifier(xcb_get_file_descriptor(connection_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &X11PointerMonitor::readEvents);
}

X11PointerMonitor::~X11PointerMonitor() {
    delete notifier_;
    if (connection_) xcb_disconnect(connection_);
}

PointF X11PointerMonitor::location() const {
    if (haveGui()) return pointFromQtGlobal(QPointF(QCursor::pos()));
    return {};
}

PointerEvent X11PointerMonitor::eventAt(PointerEvent::Type type) const {
    PointerEvent e;
    e.type = type;
    if (!haveGui()) return e;
    const QPoint pos = QCursor::pos();
    e.location = pointFromQtGlobal(QPointF(pos));
    if (type != PointerEvent::Type::moved) {
        // Over one of this application's visible windows (the application handles those). A
        // window cut to a shape takes the pointer only inside the shape: a press beside it goes
        // to what lies below.
        for (QWindow* w : QGuiApplication::topLevelWindows()) {
            if (!w->isVisible() || (w->flags() & Qt::WindowTransparentForInput)) continue;
            const QRect g = w->geometry();
            if (!g.contains(pos)) continue;
            const QRegion shape = w->mask();
            if (!shape.isEmpty() && !shape.contains(pos - g.topLeft())) continue;
            e.overApplication = true;
            break;
        }
    }
    return e;
}

void X11PointerMonitor::watchedMaskChanged(unsigned mask) {
    if (xiOpcode_ >= 0) {
        selectRawEvents(mask);
        return;
    }
    // The fallback polls only while something is watched.
    if (mask != 0 && !pollTimer_.isActive()) {
        polledLocation_ = location();
        polledButtons_ = 0;
        pollTimer_.start();
    } else if (mask == 0) {
        pollTimer_.stop();
    }
}

void X11PointerMonitor::selectRawEvents(unsigned mask) {
    uint32_t bits = 0;
    if (mask & pointermask::buttons) bits |= XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS;
    if (mask & pointermask::moved) bits |= XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;
    struct {
        xcb_input_event_mask_t head;
        uint32_t bits;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, bits};
    // Checked, so that the server has taken the selection before the caller goes on: a press
    // that follows at once is not missed.
    const xcb_void_cookie_t cookie =
        xcb_input_xi_select_events_checked(connection_, root_, 1, &selection.head);
    std::free(xcb_request_check(connection_, cookie));
    // Events read while waiting for the answer sit in the connection's queue, where the socket
    // notifier does not see them.
    QMetaObject::invokeMethod(this, &X11PointerMonitor::readEvents, Qt::QueuedConnection);
}

void X11PointerMonitor::readEvents() {
    if (!connection_) return;
    bool moved = false;
    bool workspace = false;
    std::vector<PointerEvent::Type> presses;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_GE_GENERIC && xiOpcode_ >= 0) {
            auto* ge = reinterpret_cast<xcb_ge_generic_event_t*>(event);
            if (ge->extension == xiOpcode_) {
                if (ge->event_type == XCB_INPUT_RAW_MOTION) {
                    moved = true;
                } else if (ge->event_type == XCB_INPUT_RAW_BUTTON_PRESS) {
                    auto* raw = reinterpret_cast<xcb_input_raw_button_press_event_t*>(event);
                    if (raw->detail == 1) presses.push_back(PointerEvent::Type::leftDown);
                    if (raw->detail == 3) presses.push_back(PointerEvent::Type::rightDown);
                }
            }
        } else if (type == XCB_PROPERTY_NOTIFY) {
            auto* p = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (p->window == root_ &&
                (p->atom == activeWindowAtom_ || p->atom == currentDesktopAtom_)) {
                workspace = true;
            }
        }
        free(event);
    }
    if (xcb_connection_has_error(connection_)) {
        // The server went away: stop listening rather than spin on a dead socket.
        notifier_->setEnabled(false);
        xiOpcode_ = -1;
        return;
    }
    // Movement comes in bursts; one report per burst with the current position is enough.
    for (const auto t : presses) deliver(eventAt(t));
    if (moved) deliver(eventAt(PointerEvent::Type::moved));
    if (workspace) Q_EMIT activeWindowChanged();
}

void X11PointerMonitor::poll() {
    const PointF p = location();
    if (!(p == polledLocation_)) {
        polledLocation_ = p;
        deliver(eventAt(PointerEvent::Type::moved));
    }
    if (!connection_) return;
    // Button state of the pointer, to see presses without events.
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
    if (!reply) return;
    const unsigned buttons = reply->mask & (XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_3);
    free(reply);
    const unsigned pressed = buttons & ~polledButtons_;
    polledButtons_ = buttons;
    if (pressed & XCB_BUTTON_MASK_1) deliver(eventAt(PointerEvent::Type::leftDown));
    if (pressed & XCB_BUTTON_MASK_3) deliver(eventAt(PointerEvent::Type::rightDown));
}

}  // namespace tw
