#include "platform/linux/X11CompositorWatch.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include "platform/linux/QtXcb.h"
#include "platform/linux/XcbAtom.h"

namespace tw {

namespace {

// The compositor selection of the default screen, the one the display name names.
xcb_atom_t compositorSelection(xcb_connection_t* c) {
    const QByteArray display = qgetenv("DISPLAY");
    int screen = 0;
    const int dot = display.lastIndexOf('.');
    if (dot > display.lastIndexOf(':')) screen = display.mid(dot + 1).toInt();
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    return internAtom(c, name.constData());
}

bool ownerExists(xcb_connection_t* c, xcb_atom_t selection) {
    if (selection == XCB_ATOM_NONE) return false;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
    std::free(reply);
    return owned;
}

}  // namespace

bool X11CompositorWatch::compositorRuns() {
    xcb_connection_t* c = qtXcbConnection();
    return c && ownerExists(c, compositorSelection(c));
}

std::unique_ptr<X11CompositorWatch> X11CompositorWatch::create(QObject* parent) {
    xcb_connection_t* c = qtXcbConnection();
    if (!c || xcb_connection_has_error(c)) return nullptr;
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present) return nullptr;
    // The version has to be agreed on before any other XFixes request (Qt has done so on this
    // connection already; asking again is harmless).
    std::free(xcb_xfixes_query_version_reply(
        c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
        nullptr));
    const xcb_atom_t selection = compositorSelection(c);
    const xcb_window_t root = xcbDefaultRoot(c);
    if (selection == XCB_ATOM_NONE || root == XCB_WINDOW_NONE) return nullptr;
    xcb_xfixes_select_selection_input(c, root, selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(c);
    // Read after selecting, so that a change in between is not missed.
    const bool runs = ownerExists(c, selection);
    return std::unique_ptr<X11CompositorWatch>(
        new X11CompositorWatch(selection, xfixes->first_event, runs, parent));
}

X11CompositorWatch::X11CompositorWatch(quint32 selection, quint8 xfixesFirstEvent, bool runs,
                                       QObject* parent)
    : CompositorWatch(parent),
      selection_(selection),
      xfixesFirstEvent_(xfixesFirstEvent),
      runs_(runs) {
    if (auto* app = QCoreApplication::instance()) app->installNativeEventFilter(this);
}

X11CompositorWatch::~X11CompositorWatch() {
    if (auto* app = QCoreApplication::instance()) app->removeNativeEventFilter(this);
}

bool X11CompositorWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || !message) return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != xfixesFirstEvent_ + XCB_XFIXES_SELECTION_NOTIFY)
        return false;
    const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
    if (notify->selection != selection_) return false;
    const bool runs = notify->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER &&
                      notify->owner != XCB_WINDOW_NONE;
    if (runs != runs_) {
        runs_ = runs;
        Q_EMIT runsChanged(runs);
    }
    // Not consumed: Qt's own screen code follows the same selection.
    return false;
}

}  // namespace tw
