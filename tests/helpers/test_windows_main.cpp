// A stand-in application for the desktop tests: it shows top-level windows with the identity the
// test chooses and keeps them until it is killed or its X connection ends.
//
//   tw-test-windows [--windows N] [--late N] [--instance NAME] [--class NAME] [--gtk-id ID]
//                   [--kde-file NAME] [--no-focus 1]
//
// Every window carries WM_CLASS, WM_NAME, _NET_WM_PID and WM_CLIENT_MACHINE, as toolkits set
// them. The `--late` windows are shown only at the first SIGUSR1 (a program that opens its main
// window after a first one); a SIGUSR1 after that maps every window again (an iconic window asks
// to be shown, as a program does when it raises itself).
// With `--no-focus 1` the windows refuse the keyboard focus (WM_HINTS input false), so the window
// manager never makes them active. "mapped" is printed on stdout once the windows are mapped and
// after each SIGUSR1.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <xcb/xcb.h>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

void setText(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type,
             const std::string& text) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, 8,
                        static_cast<uint32_t>(text.size()), text.data());
}

}  // namespace

int main(int argc, char** argv) {
    int count = 1;
    int late = 0;
    bool noFocus = false;
    std::string instance = "tw-test-windows", wmClass = "TwTestWindows", gtkId, kdeFile;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--windows") {
            count = std::atoi(value.c_str());
        } else if (option == "--late") {
            late = std::atoi(value.c_str());
        } else if (option == "--no-focus") {
            noFocus = value == "1";
        } else if (option == "--instance") {
            instance = value;
        } else if (option == "--class") {
            wmClass = value;
        } else if (option == "--gtk-id") {
            gtkId = value;
        } else if (option == "--kde-file") {
            kdeFile = value;
        } else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 64;
        }
    }

    sigset_t usr1;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    sigprocmask(SIG_BLOCK, &usr1, nullptr);
    const int signals = signalfd(-1, &usr1, SFD_CLOEXEC);

    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) return 69;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    xcb_screen_t* screen = it.data;

    const xcb_atom_t utf8 = atom(c, "UTF8_STRING");
    const xcb_atom_t pidAtom = atom(c, "_NET_WM_PID");
    const xcb_atom_t gtkAtom = atom(c, "_GTK_APPLICATION_ID");
    const xcb_atom_t kdeAtom = atom(c, "_KDE_NET_WM_DESKTOP_FILE");
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const uint32_t pid = static_cast<uint32_t>(getpid());
    std::string classValue = instance + '\0' + wmClass + '\0';

    std::vector<xcb_window_t> windows;
    for (int n = 0; n < count + late; ++n) {
        const xcb_window_t w = xcb_generate_id(c);
        const uint32_t values[] = {screen->white_pixel};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 40 + 30 * n, 40 + 30 * n, 240,
                          160, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL, values);
        setText(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, wmClass + " " + std::to_string(n + 1));
        setText(c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, classValue);
        setText(c, w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, host);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, pidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
        if (!gtkId.empty()) setText(c, w, gtkAtom, utf8, gtkId);
        if (!kdeFile.empty()) setText(c, w, kdeAtom, utf8, kdeFile);
        if (noFocus) {
            // WM_HINTS: flags InputHint, input false.
            const uint32_t hints[9] = {1, 0, 0, 0, 0, 0, 0, 0, 0};
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS,
                                32, 9, hints);
        }
        windows.push_back(w);
    }
    int shown = 0;
    const auto mapWindows = [&] {
        const int from = shown < count + late && shown > 0 ? shown : 0;
        shown = shown == 0 ? count : count + late;
        for (int n = from; n < shown; ++n) xcb_map_window(c, windows[std::size_t(n)]);
        // A round trip: the requests have reached the server before "mapped" is told.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        std::printf("mapped\n");
        std::fflush(stdout);
    };
    mapWindows();

    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {signals, POLLIN, 0}};
    for (;;) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) std::free(e);
        if (xcb_connection_has_error(c)) return 0;
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info;
            if (read(signals, &info, sizeof info) == sizeof info) mapWindows();
        }
    }
}
