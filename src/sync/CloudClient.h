#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "platform/Scheduler.h"
#include "sync/CloudError.h"
#include "sync/CloudRecords.h"
#include "sync/EventDelivery.h"
#include "timer/FocusHistory.h"

class QNetworkAccessManager;

namespace tw {

class ComputerName;
class CredentialStore;
class TimerModel;
class UrlOpener;
class UserDefaults;

// This computer's connection to the Tarnwhistle website: it registers the computer as a device
// (there is no sign-in here; the user claims the device on the website through a one-time link),
// keeps the website's copy of the daily focus history up to date, pairs phones with the account,
// lists and removes the account's devices, and carries the focus events to the website. Every
// request goes through `request`; every reply of 401 loses the connection. All state lives on the
// main thread; each asynchronous step remembers `generation` and drops its result when the
// connection has moved on meanwhile.
class CloudClient final : public EventDelivery {
    Q_OBJECT

public:
    struct Environment {
        TimerModel& model;
        // The configured website (cloudconfig::load); none: not configured.
        std::optional<QUrl> websiteURL;
        CredentialStore& store;        // service kCredentialService: the credential
        CredentialStore& ledgerStore;  // service kLedgerService: the ledger identifier
        UserDefaults& defaults;        // the standard suite ("cloudHistorySyncEnabled")
        Scheduler& scheduler;          // the clock and every wait
        UrlOpener& browser;            // opens the one-time website link
        ComputerName& computerName;    // the name registered for this computer
        // The HTTP client; null: the client makes its own (no cookies, no cache, no redirects).
        QNetworkAccessManager* network = nullptr;
        double historyInterval = 1800;  // longest wait before a change of the history is sent
        QString appVersion = QStringLiteral(TW_VERSION);
    };

    // The answer of a request: the reply's body, or why it failed.
    using Result = std::variant<QByteArray, CloudError>;
    using Done = std::function<void()>;

    static constexpr char kCredentialService[] = "dev.tarnwhistle.cloud-history";
    static constexpr char kLedgerService[] = "dev.tarnwhistle.cloud-ledger";
    static constexpr char kSyncEnabledKey[] = "cloudHistorySyncEnabled";
    static constexpr double kRequestTimeout = 20;
    static constexpr int kBatchSize = 500;
    static constexpr double kFirstRetryDelay = 10;
    static constexpr double kLongestRetryDelay = 300;
    static constexpr double kPairingPollInterval = 15;
    static constexpr int kMaxNameLength = 80;

    // Reads the ledger identifier and the credential (the start-up rules); makes no request
    // unless a credential is left over from sync turned off, which is then revoked.
    explicit CloudClient(Environment environment, QObject* parent = nullptr);
    ~CloudClient() override;

    // Published state.
    bool connected() const override { return connected_; }
    bool busy() const { return busy_; }
    const QString& status() const { return status_; }
    const QList<PairedDevice>& devices() const { return devices_; }
    const std::optional<PairingCode>& pairing() const { return pairing_; }

    // True once a device list arrived since the last connect.
    bool devicesKnown() const { return devicesKnown_; }
    const std::optional<QUrl>& websiteURL() const { return websiteURL_; }
    const QUuid& ledgerID() const { return ledgerID_; }
    std::optional<QString> thisDeviceID() const;
    // The website's clock minus the local one, learned from the last reply's Date header.
    double clockOffset() const { return clockOffset_; }
    int generation() const { return generation_; }
    // Requests sent and not yet answered.
    int requestsInFlight() const { return inFlight_; }
    bool hasPhone() const override;
    Instant serverNow() const override;

    // The settings switch, on and off. (Named apart from QObject's connect and disconnect.)
    void connectToWebsite();
    void disconnectFromWebsite();
    // Asks the website for a one-time link for `purpose` ("history") and opens it in the browser.
    void openWebsite(const QString& purpose);
    // Uploads the history, then fetches the device list; `done` follows.
    void refresh(Done done = {});

    // The history upload. `start` follows the model's history and phase ends (once, at launch).
    void start();
    void markDirty();
    void syncNow();
    // The last upload before quitting; `done` follows at once when not connected.
    void finalUpload(double timeout, Done done);
    // Joins the upload under way (one more pass follows it) or starts one.
    void upload(double timeout, Done done = {});

    // Phones and devices.
    void startPairing();
    void hidePairing();
    void refreshDevices(Done done = {});
    void removeDevice(const PairedDevice& device);

    void postEvent(const QByteArray& eventJson,
                   std::function<void(std::optional<CloudError>)> done) override;

    // The one HTTP routine: `path` is relative to the website ("v1/devices"); GET and DELETE
    // carry no body. `done` is called once, from the event loop.
    void request(const QByteArray& method, const QString& path,
                 const std::optional<QByteArray>& body, const std::optional<QString>& token,
                 double timeout, std::function<void(Result)> done);
    // The credential was refused: forget it and everything that depended on it.
    void handleRevoked();

    // The days of `history` the website takes, in date order: finite seconds 0…172800 and
    // 0…1000000 sessions.
    static std::vector<FocusHistory::SyncDay> syncDays(const FocusHistory& history);
    // The name registered for this computer: the first 80 characters of `systemName`, or
    // "My computer" when it is empty.
    static QString deviceName(const QString& systemName);

Q_SIGNALS:
    void busyChanged(bool busy);
    void statusChanged(const QString& status);
    void devicesChanged();
    void pairingChanged();

private:
    struct UploadRun;

    void setConnected(bool connected);
    void setBusy(bool busy);
    void setStatus(const QString& status);
    void setDevices(QList<PairedDevice> devices);
    void setPairing(std::optional<PairingCode> pairing);
    Instant now() const;

    void loadAtStart();
    void registerDevice(int generation, const QString& name, bool secondAttempt);
    void registered(int generation, const QString& name, bool secondAttempt, Result result);
    void connectFailed(int generation, const QString& description);
    void revokeDevice(const QString& token, const QString& deviceID);
    // Everything that belongs to a connection is dropped: the generation moves on.
    void dropConnectionWork();
    void clearConnection();

    void scheduleHistoryUpload();
    void runPass(const std::shared_ptr<UploadRun>& run);
    void sendBatch(const std::shared_ptr<UploadRun>& run,
                   std::shared_ptr<const std::vector<FocusHistory::SyncDay>> pending, size_t from);
    void passDone(const std::shared_ptr<UploadRun>& run);
    void scheduleRetry();

    void startPoll();
    void pollStep(int generation, quint64 poll);
    void stopPoll();

    TimerModel& model_;
    CredentialStore& store_;
    CredentialStore& ledgerStore_;
    UserDefaults& defaults_;
    Scheduler& scheduler_;
    UrlOpener& browser_;
    ComputerName& computerName_;
    QNetworkAccessManager* network_;
    double historyInterval_;
    QString appVersion_;

    bool connected_ = false;
    bool busy_ = false;
    QString status_;
    QList<PairedDevice> devices_;
    bool devicesKnown_ = false;
    std::optional<PairingCode> pairing_;
    std::optional<QUrl> websiteURL_;
    QUuid ledgerID_;
    std::optional<Credential> credential_;
    QMap<QString, FocusHistory::SyncDay> acknowledged_;
    bool started_ = false;
    int generation_ = 0;
    double clockOffset_ = 0;
    int inFlight_ = 0;

    std::unique_ptr<ScheduledCall> historyTask_;
    std::optional<Instant> firstDirtyAt_;
    std::shared_ptr<UploadRun> uploadRun_;
    bool dirtyAgain_ = false;
    std::unique_ptr<ScheduledCall> uploadRetryTask_;
    double uploadRetryDelay_ = kFirstRetryDelay;

    std::unique_ptr<ScheduledCall> pairingPollTask_;
    quint64 poll_ = 0;  // the running poll; a poll whose number is not this one has ended
};

}  // namespace tw
