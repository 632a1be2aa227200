#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "platform/Scheduler.h"
#include "ticktick/TickTickConfiguration.h"
#include "ticktick/TickTickError.h"
#include "ticktick/TickTickRecords.h"
#include "ticktick/TickTickTasks.h"

class QNetworkAccessManager;

namespace tw {

class AppPreferences;
class CredentialStore;

// The user's TickTick account through TickTick's open API: one access token in the keyring, the
// projects, the open tasks of a project, and completing a task. The user connects by pasting a
// personal API token, which is kept only once TickTick accepted it. Nothing is sent while the
// TickTick preference is off; switching it off calls off every request in flight, and a request
// of an earlier `generation` leaves no trace. All state lives on the main thread.
class TickTickClient final : public QObject, public TickTickTaskService {
    Q_OBJECT

public:
    struct Environment {
        AppPreferences& preferences;  // "tickTickEnabled"
        CredentialStore& store;       // service kCredentialService: the account as JSON
        Scheduler& scheduler;         // the clock of expiries and of the time-outs
        QUrl apiURL = QUrl(QLatin1StringView(ticktickconfig::kDefaultAPIURL));
        // The HTTP client; null: the client makes its own (no cookies, no cache, no redirects).
        QNetworkAccessManager* network = nullptr;
    };

    // The body of a 2xx answer, none when nothing was sent (switched off, no token), or why the
    // request failed.
    using Result = std::variant<std::optional<QByteArray>, TickTickError>;
    using ProjectsResult = std::variant<std::vector<TickTickProject>, TickTickError>;

    static constexpr char kCredentialService[] = "dev.tarnwhistle.ticktick";
    static constexpr double kIdleTimeout = 15;   // seconds without data
    static constexpr double kTotalTimeout = 30;  // seconds for the whole transfer
    static constexpr int kMaxTokenLength = 512;

    // Loads the stored account when TickTick is on; makes no request.
    explicit TickTickClient(Environment environment, QObject* parent = nullptr);
    ~TickTickClient() override;

    // Published state.
    bool isConnected() const { return isConnected_; }
    bool isConnecting() const { return isConnecting_; }
    const std::optional<QString>& statusMessage() const { return statusMessage_; }

    const std::optional<TickTickAccount>& account() const { return account_; }
    const QUrl& apiURL() const { return apiURL_; }
    int generation() const { return generation_; }
    int requestsInFlight() const { return static_cast<int>(requests_.size()); }

    // Tries `token` and keeps it when TickTick accepts it; problems go to statusMessage.
    // (Named apart from QObject's connect and disconnect.)
    void connectWithToken(const QString& token);
    void disconnectAccount();
    void projects(std::function<void(ProjectsResult)> done);
    void tasks(const QString& projectID, std::function<void(TasksResult)> done) override;
    void complete(const TickTickTask& task, std::function<void(CompleteResult)> done) override;

    // The one HTTP routine: `path` components go below the API base, each as one segment; no
    // body. `done` is called once, from the event loop.
    void request(const QStringList& path, const QByteArray& method,
                 const std::optional<QString>& explicitToken, std::function<void(Result)> done);

    // Whether `token` (trimmed) can be a TickTick API token: 1 to 512 printable ASCII characters
    // other than space.
    static std::optional<QString> acceptableToken(const QString& token);

Q_SIGNALS:
    void isConnectedChanged(bool connected);
    void isConnectingChanged(bool connecting);
    void statusMessageChanged(const std::optional<QString>& message);

private:
    // One request sent and not yet answered.
    struct InFlight {
        QPointer<QNetworkReply> reply;
        std::function<void(Result)> done;
        int generation = 0;
        bool accountToken = false;  // the account's own token, not one being tried
        bool timedOut = false;
        std::unique_ptr<ScheduledCall> idle;   // no data for kIdleTimeout
        std::unique_ptr<ScheduledCall> total;  // the whole transfer, kTotalTimeout
    };

    void setConnected(bool value);
    void setConnecting(bool value);
    void setStatusMessage(std::optional<QString> value);
    bool enabled() const;

    void enabledChanged(bool enabled);
    void cancelAll();
    void handleExpired();
    void finish(const QUuid& id, Result result);
    void checked(int generation, const QString& token, Result result);

    AppPreferences& preferences_;
    CredentialStore& store_;
    Scheduler& scheduler_;
    QUrl apiURL_;
    QNetworkAccessManager* network_;

    bool isConnected_ = false;
    bool isConnecting_ = false;
    std::optional<QString> statusMessage_;
    std::optional<TickTickAccount> account_;
    std::optional<bool> lastEnabled_;
    std::map<QUuid, std::unique_ptr<InFlight>> requests_;
    int generation_ = 0;
};

}  // namespace tw
