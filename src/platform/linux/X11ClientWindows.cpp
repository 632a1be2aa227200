#include "platform/linux/X11ClientWindows.h"

#include <QSysInfo>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include "platform/linux/ProcessScan.h"

namespace tw {

namespace {

constexpr uint32_t kMaxPropertyWords = 1024;  // 4 KiB, more than any id or class needs

// Frees an xcb reply at the end of a scope.
template <typename T>
struct Reply {
    T* p = nullptr;
    explicit Reply(T* r) : p(r) {}
    ~Reply() { std::free(p); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

QString propertyText(xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 8) return {};
    const int length = xcb_get_property_value_length(reply);
    const char* data = static_cast<const char*>(xcb_get_property_value(reply));
    // A trailing NUL (some toolkits write one) is not part of the text.
    int n = 0;
    while (n < length && data[n] != '\0') ++n;
    return QString::fromUtf8(data, n);
}

std::optional<uint32_t> propertyCard32(xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply) < 4) return {};
    return *static_cast<const uint32_t*>(xcb_get_property_value(reply));
}

QList<uint32_t> propertyCard32s(xcb_get_property_reply_t* reply) {
    QList<uint32_t> out;
    if (!reply || reply->format != 32) return out;
    const int n = xcb_get_property_value_length(reply) / 4;
    const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
    out.reserve(n);
    for (int i = 0; i < n; ++i) out << data[i];
    return out;
}

xcb_get_property_cookie_t getProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t atom) {
    return xcb_get_property(c, 0, w, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxPropertyWords);
}

}  // namespace

struct X11ClientWindows::Atoms {
    xcb_atom_t clientList = XCB_ATOM_NONE;
    xcb_atom_t activeWindow = XCB_ATOM_NONE;
    xcb_atom_t wmPid = XCB_ATOM_NONE;
    xcb_atom_t wmState = XCB_ATOM_NONE;  // _NET_WM_STATE
    xcb_atom_t wmStateHidden = XCB_ATOM_NONE;
    xcb_atom_t gtkApplicationId = XCB_ATOM_NONE;
    xcb_atom_t kdeDesktopFile = XCB_ATOM_NONE;
    xcb_atom_t icccmState = XCB_ATOM_NONE;  // WM_STATE
    xcb_atom_t changeState = XCB_ATOM_NONE;
};

std::unique_ptr<X11ClientWindows> X11ClientWindows::connect() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return nullptr;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return nullptr;
    }
    const xcb_window_t root = it.data->root;

    auto atoms = std::make_unique<Atoms>();
    const std::array<std::pair<const char*, xcb_atom_t*>, 9> names{{
        {"_NET_CLIENT_LIST", &atoms->clientList},
        {"_NET_ACTIVE_WINDOW", &atoms->activeWindow},
        {"_NET_WM_PID", &atoms->wmPid},
        {"_NET_WM_STATE", &atoms->wmState},
        {"_NET_WM_STATE_HIDDEN", &atoms->wmStateHidden},
        {"_GTK_APPLICATION_ID", &atoms->gtkApplicationId},
        {"_KDE_NET_WM_DESKTOP_FILE", &atoms->kdeDesktopFile},
        {"WM_STATE", &atoms->icccmState},
        {"WM_CHANGE_STATE", &atoms->changeState},
    }};
    std::array<xcb_intern_atom_cookie_t, names.size()> cookies{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const char* name = names[i].first;
        cookies[i] = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        Reply r(xcb_intern_atom_reply(c, cookies[i], nullptr));
        if (!r) {
            xcb_disconnect(c);
            return nullptr;
        }
        *names[i].second = r->atom;
    }
    return std::unique_ptr<X11ClientWindows>(new X11ClientWindows(c, root, std::move(atoms)));
}

X11ClientWindows::X11ClientWindows(xcb_connection_t* c, quint32 root, std::unique_ptr<Atoms> atoms)
    : connection_(c),
      root_(root),
      atoms_(std::move(atoms)),
      hostName_(QSysInfo::machineHostName()) {}

X11ClientWindows::~X11ClientWindows() {
    xcb_disconnect(connection_);
}

int X11ClientWindows::fileDescriptor() const {
    return xcb_get_file_descriptor(connection_);
}

bool X11ClientWindows::broken() const {
    return xcb_connection_has_error(connection_) != 0;
}

void X11ClientWindows::flush() {
    xcb_flush(connection_);
}

void X11ClientWindows::selectRootPropertyChanges(bool on) {
    const uint32_t mask = on ? XCB_EVENT_MASK_PROPERTY_CHANGE : XCB_EVENT_MASK_NO_EVENT;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_);
}

quint32 X11ClientWindows::selectedRootEvents() const {
    Reply r(xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, root_), nullptr));
    return r ? r->your_event_mask : 0;
}

bool X11ClientWindows::isClientList(quint32 window, quint32 atom) const {
    return window == root_ && atom == atoms_->clientList;
}

bool X11ClientWindows::isActiveWindow(quint32 window, quint32 atom) const {
    return window == root_ && atom == atoms_->activeWindow;
}

QList<quint32> X11ClientWindows::clientList() const {
    Reply r(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, root_, atoms_->clientList, XCB_ATOM_WINDOW, 0, 1 << 16),
        nullptr));
    return propertyCard32s(r.p);
}

quint32 X11ClientWindows::activeWindow() const {
    Reply r(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, root_, atoms_->activeWindow, XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    return propertyCard32(r.p).value_or(0);
}

QHash<quint32, X11ClientWindows::Facts> X11ClientWindows::facts(
    const QList<quint32>& windows) const {
    struct Pending {
        xcb_get_property_cookie_t wmClass, pid, gtk, kde, machine;
    };
    std::vector<Pending> pending;
    pending.reserve(windows.size());
    for (const quint32 w : windows) {
        pending.push_back({xcb_icccm_get_wm_class(connection_, w),
                           getProperty(connection_, w, atoms_->wmPid),
                           getProperty(connection_, w, atoms_->gtkApplicationId),
                           getProperty(connection_, w, atoms_->kdeDesktopFile),
                           getProperty(connection_, w, XCB_ATOM_WM_CLIENT_MACHINE)});
    }
    QHash<quint32, Facts> out;
    for (qsizetype i = 0; i < windows.size(); ++i) {
        const Pending& p = pending[static_cast<std::size_t>(i)];
        Facts f;
        bool exists = false;
        xcb_icccm_get_wm_class_reply_t wmClass{};
        if (xcb_icccm_get_wm_class_reply(connection_, p.wmClass, &wmClass, nullptr)) {
            f.identity.wmInstance = QString::fromUtf8(wmClass.instance_name);
            f.identity.wmClass = QString::fromUtf8(wmClass.class_name);
            xcb_icccm_get_wm_class_reply_wipe(&wmClass);
            exists = true;
        }
        // A reply (even an empty one) says the window exists; an error says it is gone.
        Reply pid(xcb_get_property_reply(connection_, p.pid, nullptr));
        Reply gtk(xcb_get_property_reply(connection_, p.gtk, nullptr));
        Reply kde(xcb_get_property_reply(connection_, p.kde, nullptr));
        Reply machine(xcb_get_property_reply(connection_, p.machine, nullptr));
        if (!exists && !pid) continue;
        f.pid = propertyCard32(pid.p).value_or(0);
        f.identity.gtkApplicationId = propertyText(gtk.p);
        f.identity.kdeDesktopFile = propertyText(kde.p);
        const QString host = propertyText(machine.p);
        f.local = host.isEmpty() || host == hostName_;
        if (f.local && f.pid > 0) {
            f.identity.executable = procscan::executable(static_cast<qint32>(f.pid));
        }
        out.insert(windows[i], f);
    }
    return out;
}

QHash<quint32, bool> X11ClientWindows::iconic(const QList<quint32>& windows) const {
    std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> pending;
    pending.reserve(windows.size());
    for (const quint32 w : windows) {
        pending.emplace_back(
            xcb_get_property(connection_, 0, w, atoms_->icccmState, atoms_->icccmState, 0, 2),
            xcb_get_property(connection_, 0, w, atoms_->wmState, XCB_ATOM_ATOM, 0, 64));
    }
    QHash<quint32, bool> out;
    for (qsizetype i = 0; i < windows.size(); ++i) {
        Reply state(xcb_get_property_reply(connection_, pending[std::size_t(i)].first, nullptr));
        Reply net(xcb_get_property_reply(connection_, pending[std::size_t(i)].second, nullptr));
        if (!state && !net) continue;  // gone
        const bool icccmIconic = propertyCard32(state.p) == uint32_t(XCB_ICCCM_WM_STATE_ICONIC);
        const bool netHidden = propertyCard32s(net.p).contains(atoms_->wmStateHidden);
        out.insert(windows[i], icccmIconic || netHidden);
    }
    return out;
}

void X11ClientWindows::iconify(quint32 window) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atoms_->changeState;
    event.data.data32[0] = XCB_ICCCM_WM_STATE_ICONIC;
    xcb_send_event(connection_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

}  // namespace tw
