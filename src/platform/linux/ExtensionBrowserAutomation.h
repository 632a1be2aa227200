#pragma once

// Browser automation through the Tarnwhistle extension: each request goes to the extension in
// that browser, through the `tarnwhistle-browser-host` the browser started for it, and its answer
// comes back the same way. One request at a time, each bounded by the four-second limit; a request
// for a browser none of whose hosts is connected waits within that limit for one.

#include <QObject>
#include <deque>
#include <memory>
#include <optional>

#include "platform/BrowserAutomation.h"
#include "platform/Scheduler.h"
#include "platform/linux/BrowserHostServer.h"
#include "platform/linux/BrowserInstalls.h"

namespace tw {

class ExtensionBrowserAutomation final : public QObject, public BrowserAutomation {
    Q_OBJECT

public:
    struct Options {
        // The host program. Empty: `tarnwhistle-browser-host` beside this program.
        QString hostExecutable;
        // The socket's folder. Empty: $XDG_RUNTIME_DIR/tarnwhistle.
        QString socketFolder;
        // Where the host manifests go. Empty: this user's home and configuration folders.
        std::optional<browserinstalls::Locations> manifests;
        // Where installed browsers are looked for. Empty: the desktop's application folders
        // and $PATH.
        std::optional<QStringList> applicationDirs;
        std::optional<QStringList> searchPath;
        // Which browser a host serves, from its parent's executable. Empty: by executable name.
        BrowserHostServer::BrowserOfExecutable browserOf;
    };

    // Listens for hosts at once. `scheduler` bounds each request and outlives this object.
    explicit ExtensionBrowserAutomation(Scheduler& scheduler, Options options = {},
                                        QObject* parent = nullptr);
    ~ExtensionBrowserAutomation() override;

    // Requests still queued or in flight when this object goes are not answered.
    void execute(const BrowserRequest& request, std::function<void(BrowserReply)> done) override;
    QList<FocusBrowser> installedBrowsers() const override;

    BrowserHostServer& server() { return server_; }
    const QString& hostExecutable() const { return options_.hostExecutable; }

    // The failure texts, as the settings show them.
    static QString notConnectedText(FocusBrowser browser);
    static QString noResponseText();

private:
    struct Job {
        BrowserRequest request;
        std::function<void(BrowserReply)> done;
    };
    struct InFlight {
        Job job;
        quint64 connection = 0;
        qint64 id = 0;  // 0 while it waits for a host of its browser
        std::unique_ptr<ScheduledCall> limit;
    };

    void scheduleNext();
    void startNext();
    // Sends the request in flight once a host of its browser is connected.
    void sendWaiting();
    void probe(Job job);
    void answered(quint64 connection, const browserlink::Answer& answer);
    void finish(BrowserReply reply);
    void finish(Job job, BrowserReply reply);

    Scheduler& scheduler_;
    Options options_;
    BrowserHostServer server_;
    std::deque<Job> queue_;
    std::optional<InFlight> current_;
    bool nextScheduled_ = false;
    qint64 nextId_ = 1;
};

}  // namespace tw
