#include "distraction/SiteBlocker.h"

#include <QCoreApplication>
#include <QPointer>
#include <cmath>

#include "platform/Scheduler.h"
#include "preferences/AppPreferences.h"
#include "preferences/SiteRule.h"
#include "timer/TimerModel.h"

namespace tw {

namespace {

const QString kNotChecked = QStringLiteral("Not checked");
const QString kReady = QStringLiteral("Ready");
const QString kConnected = QStringLiteral("Connected");
const QString kRetrying = QStringLiteral("Browser did not respond. Retrying…");

bool isDenial(int code) {
    return code == BrowserFailure::notConnected || code == -1744;
}

int failureCode(const BrowserReply& reply) {
    if (const auto* failure = std::get_if<BrowserFailure>(&reply)) return failure->code;
    return BrowserFailure::noResponse;
}

}  // namespace

SiteBlocker::SiteBlocker(TimerModel& model, AppPreferences& preferences,
                         BrowserAutomation& automation, Scheduler& scheduler, Uptime now,
                         FrontBrowser frontBrowser, QObject* parent)
    : QObject(parent),
      model_(model),
      preferences_(preferences),
      automation_(automation),
      scheduler_(scheduler),
      now_(std::move(now)),
      frontBrowser_(std::move(frontBrowser)) {}

SiteBlocker::~SiteBlocker() {
    // Answers still to come find this object gone and do nothing; whoever waits is still told.
    timer_.reset();
    for (auto& done : idleWaiters_) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(done),
                                  Qt::QueuedConnection);
    }
}

QString SiteBlocker::deniedStatus(FocusBrowser browser) {
    return QStringLiteral("Browser extension not connected. Add the Tarnwhistle extension to ") +
           displayName(browser) + QStringLiteral(", then Retry.");
}

QString SiteBlocker::statusText(FocusBrowser browser) const {
    const auto it = browserStatus_.find(browser);
    return it == browserStatus_.end() ? kNotChecked : it->second;
}

bool SiteBlocker::browserAccessGranted() const {
    for (const auto& [browser, text] : browserStatus_) {
        if (text == kReady || text == kConnected) return true;
    }
    return false;
}

void SiteBlocker::start() {
    // Changes arrive from the event loop, a burst of them (the mode and the run state change
    // together) as one decision.
    connect(&model_, &TimerModel::modeChanged, this, &SiteBlocker::queueRefresh);
    connect(&model_, &TimerModel::runStateChanged, this, &SiteBlocker::queueRefresh);
    connect(&preferences_, &AppPreferences::websiteBlockingEnabledChanged, this,
            &SiteBlocker::queueRefresh);
    connect(&preferences_, &AppPreferences::blockedSitesChanged, this, &SiteBlocker::queueRefresh);
    refresh();
}

void SiteBlocker::queueRefresh() {
    if (refreshQueued_) return;
    refreshQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            refreshQueued_ = false;
            refresh();
        },
        Qt::QueuedConnection);
}

void SiteBlocker::setSuspended(bool suspended) {
    suspended_ = suspended;
    Q_EMIT suspendedChanged(suspended);
    refresh();
}

bool SiteBlocker::shouldBlock() const {
    return !suspended_ && preferences_.websiteBlockingEnabled() &&
           !preferences_.blockedSites().isEmpty() && model_.mode() == TimerModel::Mode::focus &&
           model_.runState() == TimerModel::RunState::running;
}

void SiteBlocker::cancelPending() {
    if (!pending_) return;
    pending_.reset();
    Q_EMIT warning(std::nullopt, 0);
}

void SiteBlocker::stopTimer() {
    timer_.reset();
}

void SiteBlocker::refresh() {
    cancelPending();
    ++generation_;
    stopTimer();
    const bool active = shouldBlock();
    if (active != active_) {
        active_ = active;
        Q_EMIT activeChanged(active);
    }
    if (!active) return;
    const auto browser = frontBrowser_();
    if (!browser || failed_.count(*browser)) return;
    scheduleTick();
    tick();
}

void SiteBlocker::scheduleTick() {
    timer_ = scheduler_.callAfter(checkInterval, [this] {
        scheduleTick();
        tick();
    });
}

void SiteBlocker::tick() {
    if (!shouldBlock()) return cancelPending();
    const auto browser = frontBrowser_();
    if (!browser || failed_.count(*browser)) return cancelPending();
    const auto retry = retryAfter_.find(*browser);
    if (retry != retryAfter_.end() && retry->second > now_()) return cancelPending();
    if (!checkInFlight_) startCheck(*browser);
}

bool SiteBlocker::isCurrent(FocusBrowser browser, quint64 generation) const {
    return generation == generation_ && shouldBlock() && frontBrowser_() == browser;
}

void SiteBlocker::startCheck(FocusBrowser browser) {
    checkInFlight_ = true;
    const quint64 generation = generation_;
    QPointer<SiteBlocker> self(this);
    automation_.execute(BrowserRequest{browser, BrowserRequest::Kind::frontTab, std::nullopt},
                        [self, browser, generation](BrowserReply reply) {
                            if (self) self->readAnswered(browser, generation, reply);
                        });
}

void SiteBlocker::checkFailed(FocusBrowser browser, int code) {
    cancelPending();
    handleFailure(browser, code);
    if (failed_.count(browser)) stopTimer();
}

void SiteBlocker::readAnswered(FocusBrowser browser, quint64 generation,
                               const BrowserReply& reply) {
    const QByteArray* output = std::get_if<QByteArray>(&reply);
    if (!output) {
        if (isCurrent(browser, generation)) checkFailed(browser, failureCode(reply));
        return endCheck();
    }
    if (!isCurrent(browser, generation)) return endCheck();

    failed_.erase(browser);
    retryAfter_.erase(browser);
    setStatus(browser, kConnected);

    const auto decoded = decodeFrontTab(*output);
    if (std::holds_alternative<QString>(decoded)) {
        checkFailed(browser, BrowserFailure::noResponse);
        return endCheck();
    }
    const auto& tab = std::get<std::optional<BrowserTab>>(decoded);
    if (!tab) {
        cancelPending();
        return endCheck();
    }

    std::optional<QString> rule;
    for (const QString& entry : preferences_.blockedSites()) {
        const auto parsed = SiteRule::parse(entry);
        if (parsed && parsed->matches(tab->url)) {
            rule = entry;
            break;
        }
    }
    if (!rule) {
        cancelPending();
        return endCheck();
    }

    if (pending_ && pending_->browser == browser && pending_->rule == *rule &&
        pending_->tab.window == tab->window && pending_->tab.tab == tab->tab) {
        pending_->tab = *tab;  // the address may have moved within the site
    } else {
        cancelPending();
        pending_ = PendingBlock{browser, *tab, *rule, now_() + warningSeconds};
    }

    const int secondsLeft = static_cast<int>(std::ceil(std::max(pending_->deadline - now_(), 0.0)));
    if (secondsLeft >= 1) {
        Q_EMIT warning(pending_->rule, secondsLeft);
        return endCheck();
    }

    // The warning ran out: blank the tab, if it is still the one that was read.
    if (!isCurrent(browser, generation)) return endCheck();
    const QString blockedRule = pending_->rule;
    QPointer<SiteBlocker> self(this);
    automation_.execute(BrowserRequest{browser, BrowserRequest::Kind::frontTab, pending_->tab},
                        [self, browser, generation, blockedRule](BrowserReply answer) {
                            if (self) self->blankAnswered(browser, generation, blockedRule, answer);
                        });
}

void SiteBlocker::blankAnswered(FocusBrowser browser, quint64 generation, const QString& rule,
                                const BrowserReply& reply) {
    std::optional<int> failure;
    std::optional<bool> blanked;
    if (const QByteArray* output = std::get_if<QByteArray>(&reply)) {
        const auto decoded = decodeBlankAnswer(*output);
        if (std::holds_alternative<QString>(decoded)) {
            failure = BrowserFailure::noResponse;
        } else {
            blanked = std::get<std::optional<bool>>(decoded);
        }
    } else {
        failure = failureCode(reply);
    }
    if (!isCurrent(browser, generation)) return endCheck();
    if (failure) {
        checkFailed(browser, *failure);
        return endCheck();
    }
    if (blanked == true) Q_EMIT blocked(rule);
    // Blanked or not (the tab moved on since it was read), the warning ends; the next tick
    // starts over if the tab still matches.
    cancelPending();
    endCheck();
}

void SiteBlocker::endCheck() {
    checkInFlight_ = false;
    notifyIdle();
}

void SiteBlocker::handleFailure(FocusBrowser browser, int code) {
    if (isDenial(code)) {
        failed_.insert(browser);
        retryAfter_.erase(browser);
        setStatus(browser, deniedStatus(browser));
    } else {
        retryAfter_[browser] = now_() + retryDelay;
        setStatus(browser, kRetrying);
    }
}

void SiteBlocker::setStatus(FocusBrowser browser, const QString& text) {
    browserStatus_[browser] = text;
    Q_EMIT browserStatusChanged(browserStatus_);
}

void SiteBlocker::retry(FocusBrowser browser) {
    failed_.erase(browser);
    retryAfter_.erase(browser);
    setStatus(browser, kNotChecked);
    refresh();
}

void SiteBlocker::requestBrowserAccess() {
    const QList<FocusBrowser> installed = automation_.installedBrowsers();
    if (installed.isEmpty()) return;
    const quint64 probe = ++probe_;  // a probe under way stops at its next step
    probeNext(probe, installed);
}

void SiteBlocker::probeNext(quint64 probe, QList<FocusBrowser> remaining) {
    if (probe != probe_) return;
    if (remaining.isEmpty()) {
        probeInFlight_ = false;
        return notifyIdle();
    }
    probeInFlight_ = true;
    const FocusBrowser browser = remaining.takeFirst();
    QPointer<SiteBlocker> self(this);
    automation_.execute(BrowserRequest{browser, BrowserRequest::Kind::probe, std::nullopt},
                        [self, probe, browser, remaining](BrowserReply reply) {
                            if (!self || probe != self->probe_) return;
                            if (std::holds_alternative<QByteArray>(reply)) {
                                self->failed_.erase(browser);
                                self->retryAfter_.erase(browser);
                                if (self->statusText(browser) != kConnected)
                                    self->setStatus(browser, kReady);
                            } else {
                                self->handleFailure(browser, failureCode(reply));
                            }
                            self->probeNext(probe, remaining);
                        });
}

void SiteBlocker::whenIdle(std::function<void()> done) {
    idleWaiters_.push_back(std::move(done));
    notifyIdle();
}

void SiteBlocker::notifyIdle() {
    if (checkInFlight_ || probeInFlight_ || idleWaiters_.empty()) return;
    auto waiters = std::move(idleWaiters_);
    idleWaiters_.clear();
    for (auto& done : waiters) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(done),
                                  Qt::QueuedConnection);
    }
}

}  // namespace tw
