#include "platform/linux/ExtensionBrowserAutomation.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace tw {

namespace bl = browserlink;

namespace {

ExtensionBrowserAutomation::Options resolved(ExtensionBrowserAutomation::Options o) {
    if (o.hostExecutable.isEmpty()) {
        o.hostExecutable = QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QLatin1String(bl::kHostExecutableName);
    }
    o.hostExecutable = QDir::cleanPath(QDir(o.hostExecutable).absolutePath());
    if (o.socketFolder.isEmpty()) o.socketFolder = bl::socketFolder();
    if (!o.manifests) o.manifests = browserinstalls::locationsForThisUser();
    return o;
}

BrowserFailure failure(BrowserFailure::Code code, QString text) {
    return BrowserFailure{code, std::move(text)};
}

// The answer's JSON text when it is one a request of this kind can give: a tab or null without
// an expected tab, a boolean or null with one.
std::optional<QByteArray> answerText(const BrowserRequest& request, const QJsonValue& value) {
    if (value.isNull()) return QByteArray("null");
    if (request.expected) {
        if (value.isBool()) return value.toBool() ? QByteArray("true") : QByteArray("false");
        return std::nullopt;
    }
    if (!value.isObject()) return std::nullopt;
    const QJsonObject o = value.toObject();
    return encodeBrowserTab(BrowserTab{o.value(QStringLiteral("window")).toString(),
                                       o.value(QStringLiteral("tab")).toString(),
                                       o.value(QStringLiteral("url")).toString()});
}

}  // namespace

ExtensionBrowserAutomation::ExtensionBrowserAutomation(Scheduler& scheduler, Options options,
                                                       QObject* parent)
    : QObject(parent),
      scheduler_(scheduler),
      options_(resolved(std::move(options))),
      server_({options_.socketFolder, options_.hostExecutable, options_.browserOf}) {
    connect(&server_, &BrowserHostServer::answered, this, &ExtensionBrowserAutomation::answered);
    // A request waiting for its browser goes once a host of that browser is there; from the event
    // loop, outside the server's reading.
    connect(&server_, &BrowserHostServer::connectionsChanged, this,
            &ExtensionBrowserAutomation::sendWaiting, Qt::QueuedConnection);
    connect(&server_, &BrowserHostServer::closed, this, [this](quint64 connection) {
        if (current_ && current_->connection == connection) {
            finish(failure(BrowserFailure::noResponse, noResponseText()));
        }
    });
}

ExtensionBrowserAutomation::~ExtensionBrowserAutomation() = default;

QString ExtensionBrowserAutomation::notConnectedText(FocusBrowser browser) {
    return QStringLiteral(
               "Browser extension not connected. Add the Tarnwhistle extension to %1, "
               "then Retry.")
        .arg(displayName(browser));
}

QString ExtensionBrowserAutomation::noResponseText() {
    return QStringLiteral("Browser did not respond. Retrying\u2026");
}

void ExtensionBrowserAutomation::execute(const BrowserRequest& request,
                                         std::function<void(BrowserReply)> done) {
    queue_.push_back(Job{request, std::move(done)});
    scheduleNext();
}

QList<FocusBrowser> ExtensionBrowserAutomation::installedBrowsers() const {
    if (!options_.applicationDirs && !options_.searchPath) {
        return browserinstalls::installedBrowsers();
    }
    return browserinstalls::installedBrowsers(options_.applicationDirs.value_or(QStringList()),
                                              options_.searchPath.value_or(QStringList()));
}

// Requests start from the event loop, so `done` is never called from inside `execute`.
void ExtensionBrowserAutomation::scheduleNext() {
    if (nextScheduled_ || current_ || queue_.empty()) return;
    nextScheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            nextScheduled_ = false;
            startNext();
        },
        Qt::QueuedConnection);
}

void ExtensionBrowserAutomation::startNext() {
    if (current_ || queue_.empty()) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    if (job.request.kind == BrowserRequest::Kind::probe) return probe(std::move(job));

    // A browser that is starting, or whose host the browser is replacing, gets what is left of
    // the time limit for its extension to connect: only a browser whose extension does not
    // connect in time is reported without it.
    current_ = InFlight{std::move(job), 0, 0, nullptr};
    current_->limit = scheduler_.callAfter(timeLimitSeconds, [this] {
        if (!current_) return;
        if (current_->id == 0) {
            const FocusBrowser browser = current_->job.request.browser;
            return finish(failure(BrowserFailure::notConnected, notConnectedText(browser)));
        }
        finish(failure(BrowserFailure::noResponse, noResponseText()));
    });
    sendWaiting();
}

void ExtensionBrowserAutomation::sendWaiting() {
    if (!current_ || current_->id != 0) return;
    const auto connection = server_.connectionFor(current_->job.request.browser);
    if (!connection) return;
    bl::Request request{nextId_++, std::nullopt};
    if (current_->job.request.expected) {
        const BrowserTab& t = *current_->job.request.expected;
        request.expected = bl::Tab{t.window, t.tab, t.url};
    }
    if (!server_.send(*connection, request)) {
        return finish(failure(BrowserFailure::noResponse, noResponseText()));
    }
    current_->connection = *connection;
    current_->id = request.id;
}

// Makes the browser able to start the host (its manifest in the browser's folders), then answers
// whether the extension in it is connected now.
void ExtensionBrowserAutomation::probe(Job job) {
    const FocusBrowser browser = job.request.browser;
    browserinstalls::installManifests(browser, options_.hostExecutable, *options_.manifests);
    if (!server_.connectionFor(browser)) {
        return finish(std::move(job),
                      failure(BrowserFailure::notConnected, notConnectedText(browser)));
    }
    finish(std::move(job), QByteArray("true"));
}

void ExtensionBrowserAutomation::answered(quint64 connection, const bl::Answer& answer) {
    if (!current_ || current_->connection != connection || current_->id != answer.id) return;
    const auto* value = std::get_if<QJsonValue>(&answer.result);
    const auto text = value ? answerText(current_->job.request, *value) : std::nullopt;
    if (!text) return finish(failure(BrowserFailure::noResponse, noResponseText()));
    finish(*text);
}

void ExtensionBrowserAutomation::finish(BrowserReply reply) {
    if (!current_) return;
    InFlight done = std::move(*current_);
    current_.reset();
    finish(std::move(done.job), std::move(reply));
}

void ExtensionBrowserAutomation::finish(Job job, BrowserReply reply) {
    if (job.done) job.done(std::move(reply));
    scheduleNext();
}

}  // namespace tw
