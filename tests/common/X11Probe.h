#pragma once

// What the window manager shows, read over a connection of the test's own (independent of the
// code under test), and the stand-in application `tw-test-windows` that shows windows of a
// chosen identity.

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <signal.h>

#include <xcb/xcb.h>

namespace tw::test {

class X11Probe {
public:
    enum class State { none, normal, iconic };

    X11Probe() {
        int screen = 0;
        c_ = xcb_connect(nullptr, &screen);
        if (xcb_connection_has_error(c_)) return;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < screen && it.rem; ++i) xcb_screen_next(&it);
        if (it.rem) root_ = it.data->root;
    }
    ~X11Probe() { xcb_disconnect(c_); }
    X11Probe(const X11Probe&) = delete;
    X11Probe& operator=(const X11Probe&) = delete;

    bool ok() const { return root_ != 0 && !xcb_connection_has_error(c_); }

    QList<quint32> clientList() { return cards(root_, "_NET_CLIENT_LIST", 4096); }
    quint32 active() {
        const QList<quint32> a = cards(root_, "_NET_ACTIVE_WINDOW", 1);
        return a.isEmpty() ? 0 : a.front();
    }
    // The managed windows of a process, in mapping order.
    QList<quint32> windowsOf(qint64 pid) {
        QList<quint32> out;
        for (const quint32 w : clientList()) {
            const QList<quint32> p = cards(w, "_NET_WM_PID", 1);
            if (!p.isEmpty() && p.front() == quint32(pid)) out << w;
        }
        return out;
    }
    // WM_STATE as the window manager set it.
    State state(quint32 window) {
        const QList<quint32> s = cards(window, "WM_STATE", 2);
        if (s.isEmpty()) return State::none;
        return s.front() == 3 ? State::iconic : s.front() == 1 ? State::normal : State::none;
    }
    bool allIn(const QList<quint32>& windows, State s) {
        if (windows.isEmpty()) return false;
        for (const quint32 w : windows) {
            if (state(w) != s) return false;
        }
        return true;
    }
    // Asks the window manager to activate a window, as a taskbar does (it shows an iconic one).
    void activate(quint32 window) {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = window;
        e.type = atom("_NET_ACTIVE_WINDOW");
        e.data.data32[0] = 2;  // a pager or taskbar
        e.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c_, 0, root_,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&e));
        xcb_flush(c_);
    }

private:
    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }
    QList<quint32> cards(xcb_window_t w, const char* name, uint32_t max) {
        QList<quint32> out;
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, w, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, max), nullptr);
        if (r && r->format == 32) {
            const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r));
            for (int i = 0; i < xcb_get_property_value_length(r) / 4; ++i) out << v[i];
        }
        std::free(r);
        return out;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
};

// The stand-in application (tests/helpers/test_windows_main.cpp); see its options there.
class TestWindowsApp {
public:
    static QString program() { return QStringLiteral(TW_BIN_DIR "/tw-test-windows"); }

    // Starts it and waits until it has mapped its windows.
    explicit TestWindowsApp(const QStringList& arguments) {
        process_.start(program(), arguments);
        started_ = process_.waitForStarted(10000) && waitForLine();
    }
    ~TestWindowsApp() {
        process_.kill();
        process_.waitForFinished(10000);
    }

    bool started() const { return started_; }
    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() == QProcess::Running; }
    // Shows its late windows, or asks for all its windows to be shown again.
    bool showWindows() {
        ::kill(pid_t(pid()), SIGUSR1);
        return waitForLine();
    }

private:
    bool waitForLine() {
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(10000)) return false;
        }
        return process_.readLine().trimmed() == "mapped";
    }

    QProcess process_;
    bool started_ = false;
};

}  // namespace tw::test
