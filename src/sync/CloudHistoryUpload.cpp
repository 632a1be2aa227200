// The history upload of the website client: changes are collected and sent at most every half
// hour, at once when a phase ends, and a last time at quit; only the days that differ from what the
// website acknowledged are sent, in batches; a failure retries after a growing wait.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <cmath>

#include "sync/CloudClient.h"
#include "sync/CloudTexts.h"
#include "timer/TimerModel.h"

namespace tw {

namespace {

constexpr double kMaxDaySeconds = 172800;
constexpr qint64 kMaxDaySessions = 1000000;

QByteArray historyBody(const std::vector<FocusHistory::SyncDay>& days, size_t from, size_t to) {
    QJsonArray list;
    for (size_t i = from; i < to; ++i) {
        list.append(QJsonObject{{QStringLiteral("date"), days[i].date},
                                {QStringLiteral("seconds"), days[i].seconds},
                                {QStringLiteral("sessions"), days[i].sessions}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("days"), list}})
        .toJson(QJsonDocument::Compact);
}

}  // namespace

// One upload: its passes run one after the other while changes keep arriving; the callers that
// joined it are told when it ends. Dropped by disconnecting, it ends at its next check.
struct CloudClient::UploadRun {
    double timeout = kRequestTimeout;
    int generation = 0;
    std::vector<Done> waiters;
};

std::vector<FocusHistory::SyncDay> CloudClient::syncDays(const FocusHistory& history) {
    std::vector<FocusHistory::SyncDay> days;
    days.reserve(static_cast<size_t>(history.days.size()));
    // A QMap is ordered by its keys: the days come in date order.
    for (auto it = history.days.constBegin(); it != history.days.constEnd(); ++it) {
        const double seconds = it->seconds;
        if (!std::isfinite(seconds) || seconds < 0 || seconds > kMaxDaySeconds) continue;
        if (it->sessions < 0 || it->sessions > kMaxDaySessions) continue;
        days.push_back(FocusHistory::SyncDay{it.key(), seconds, it->sessions});
    }
    return days;
}

void CloudClient::start() {
    if (started_) return;
    started_ = true;
    connect(&model_, &TimerModel::historyChanged, this, &CloudClient::markDirty);
    connect(&model_, &TimerModel::phaseEnded, this, [this] { syncNow(); });
    if (connected_) QTimer::singleShot(0, this, [this] { refresh(); });
}

void CloudClient::markDirty() {
    if (!connected_) return;
    if (!firstDirtyAt_) firstDirtyAt_ = now();
    scheduleHistoryUpload();
}

void CloudClient::scheduleHistoryUpload() {
    historyTask_.reset();
    const Instant deadline = firstDirtyAt_.value_or(now()) + historyInterval_;
    const double wait = std::max(0.0, deadline - now());
    const QPointer<CloudClient> self(this);
    historyTask_ = scheduler_.callAfter(wait, [self] {
        if (!self) return;
        self->historyTask_.reset();
        self->firstDirtyAt_.reset();
        self->upload(kRequestTimeout);
    });
}

void CloudClient::syncNow() {
    if (!connected_) return;
    historyTask_.reset();
    firstDirtyAt_.reset();
    // On a later turn, once the change that asked for it has been fully applied.
    QTimer::singleShot(0, this, [this] { upload(kRequestTimeout); });
}

void CloudClient::finalUpload(double timeout, Done done) {
    if (!connected_) {
        if (done) done();
        return;
    }
    historyTask_.reset();
    firstDirtyAt_.reset();
    upload(timeout, std::move(done));
}

void CloudClient::upload(double timeout, Done done) {
    if (uploadRun_) {
        dirtyAgain_ = true;
        if (done) uploadRun_->waiters.push_back(std::move(done));
        return;
    }
    auto run = std::make_shared<UploadRun>();
    run->timeout = timeout;
    run->generation = generation_;
    if (done) run->waiters.push_back(std::move(done));
    uploadRun_ = run;
    runPass(run);
}

void CloudClient::runPass(const std::shared_ptr<UploadRun>& run) {
    if (!connected_ || !credential_ || run->generation != generation_) {
        passDone(run);
        return;
    }
    auto pending = std::make_shared<std::vector<FocusHistory::SyncDay>>();
    for (auto& day : syncDays(model_.liveHistory(now()))) {
        const auto known = acknowledged_.constFind(day.date);
        if (known == acknowledged_.constEnd() || !(*known == day)) {
            pending->push_back(std::move(day));
        }
    }
    if (pending->empty()) {
        if (acknowledged_.isEmpty()) setStatus(cloudtexts::firstDayPrompt());
        passDone(run);
        return;
    }
    sendBatch(run, std::move(pending), 0);
}

void CloudClient::sendBatch(const std::shared_ptr<UploadRun>& run,
                            std::shared_ptr<const std::vector<FocusHistory::SyncDay>> pending,
                            size_t from) {
    if (run->generation != generation_ || !connected_ || !credential_) {
        passDone(run);  // cancelled: nothing changes
        return;
    }
    const size_t to = std::min(pending->size(), from + static_cast<size_t>(kBatchSize));
    const QPointer<CloudClient> self(this);
    request("PUT", QStringLiteral("v1/history"), historyBody(*pending, from, to),
            credential_->token, run->timeout, [self, run, pending, from, to](Result result) {
                if (!self) return;
                if (run->generation != self->generation_) {
                    self->passDone(run);
                    return;
                }
                if (const auto* error = std::get_if<CloudError>(&result)) {
                    // A 401 has already lost the connection and said so.
                    if (error->kind != CloudError::Kind::unauthorized) {
                        self->setStatus(error->description() + cloudtexts::historyKept());
                        self->scheduleRetry();
                    }
                    self->passDone(run);
                    return;
                }
                for (size_t i = from; i < to; ++i) {
                    self->acknowledged_.insert((*pending)[i].date, (*pending)[i]);
                }
                if (to < pending->size()) {
                    self->sendBatch(run, pending, to);
                    return;
                }
                self->uploadRetryDelay_ = kFirstRetryDelay;
                const QTime local = self->now().toDateTime().toLocalTime().time();
                self->setStatus(QStringLiteral("Last synced ") +
                                QLocale::system().toString(local, QLocale::ShortFormat) +
                                QLatin1Char('.'));
                self->passDone(run);
            });
}

void CloudClient::passDone(const std::shared_ptr<UploadRun>& run) {
    if (uploadRun_ == run) {
        if (dirtyAgain_) {
            dirtyAgain_ = false;
            runPass(run);
            return;
        }
        uploadRun_.reset();
    }
    for (Done& waiter : std::exchange(run->waiters, {})) waiter();
}

void CloudClient::scheduleRetry() {
    if (!connected_ || uploadRetryTask_) return;
    const double wait = uploadRetryDelay_;
    uploadRetryDelay_ = std::min(2 * wait, kLongestRetryDelay);
    const QPointer<CloudClient> self(this);
    uploadRetryTask_ = scheduler_.callAfter(wait, [self] {
        if (!self) return;
        self->uploadRetryTask_.reset();
        self->upload(kRequestTimeout);
    });
}

}  // namespace tw
