#pragma once

// Reading and blanking the front tab of a browser through the Tarnwhistle browser extension.

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <variant>

namespace tw {

struct RunningApplication;

// The supported browsers, in the order every list shows them. The raw value is the browser's
// desktop entry id.
enum class FocusBrowser { firefox, chrome, chromium, brave, edge };

inline constexpr FocusBrowser kAllFocusBrowsers[] = {FocusBrowser::firefox, FocusBrowser::chrome,
                                                     FocusBrowser::chromium, FocusBrowser::brave,
                                                     FocusBrowser::edge};

QString rawValue(FocusBrowser browser);     // "firefox", "chrome", …
QString displayName(FocusBrowser browser);  // "Firefox", "Chrome", …
std::optional<FocusBrowser> focusBrowserFromRaw(const QString& raw);
// The browser an application is, from its desktop entry id, window class or executable; none for
// any other application.
std::optional<FocusBrowser> focusBrowserOf(const RunningApplication& application);

// The front tab of a browser's front window.
struct BrowserTab {
    QString window;  // the window's id, as text
    QString tab;     // the tab's id, as text
    QString url;     // its address (the pending one while a navigation is under way)

    friend bool operator==(const BrowserTab&, const BrowserTab&) = default;
};

// What is asked of one browser.
struct BrowserRequest {
    enum class Kind {
        // With no expected tab: answers the front tab as {"window","tab","url"}, or null when
        // the browser has no window. With one: answers false when the front tab differs from it
        // in window, tab or address; otherwise points the tab at "about:blank" and answers true.
        frontTab,
        // The access probe: makes the browser able to reach the program (installs what it
        // needs) and answers true once the extension in it is connected.
        probe,
    };
    FocusBrowser browser = FocusBrowser::firefox;
    Kind kind = Kind::frontTab;
    std::optional<BrowserTab> expected;
};

// Why a request failed.
struct BrowserFailure {
    enum Code {
        // The extension is not connected in that browser (a front-tab request: not within the
        // time limit): the user has to add it.
        notConnected = -1743,
        // No answer in time (4 seconds), a broken connection or an answer that is not JSON.
        noResponse = 1,
    };
    int code = noResponse;
    QString description;
};

// The answer's JSON text, or the failure.
using BrowserReply = std::variant<QByteArray, BrowserFailure>;

class BrowserAutomation {
public:
    virtual ~BrowserAutomation() = default;

    static constexpr double timeLimitSeconds = 4.0;

    // Runs requests one at a time in the order given; `done` is called once for each, from the
    // event loop (never from inside this call), within about four seconds.
    virtual void execute(const BrowserRequest& request, std::function<void(BrowserReply)> done) = 0;
    // The browsers installed on this computer, in case order.
    virtual QList<FocusBrowser> installedBrowsers() const = 0;
};

// The JSON of a tab, as the extension reads and compares it.
QByteArray encodeBrowserTab(const BrowserTab& tab);
// Decodes an answer of a front-tab request without an expected tab: a tab, none for null, or an
// error for anything else.
std::variant<std::optional<BrowserTab>, QString> decodeFrontTab(const QByteArray& json);
// Decodes an answer of a blanking request: true, false, none for null, or an error.
std::variant<std::optional<bool>, QString> decodeBlankAnswer(const QByteArray& json);

}  // namespace tw
