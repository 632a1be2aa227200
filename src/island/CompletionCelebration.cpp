#include "island/CompletionCelebration.h"

#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "island/IslandViewStyle.h"
#include "preferences/AppPreferences.h"
#include "timer/DriftLog.h"
#include "timer/TestimonialStore.h"

namespace tw {

QString CompletionCelebration::title() const {
    return mode == TimerModel::Mode::focus ? QStringLiteral("Focus complete!")
                                           : QStringLiteral("Break complete!");
}

QString CompletionCelebration::subtitle() const {
    return mode == TimerModel::Mode::focus
               ? QStringLiteral("Nice work. Enjoy your break.")
               : QStringLiteral("Refreshed and ready for your next focus.");
}

QString CompletionCelebration::summaryLine() const {
    if (!summary) return {};
    return summary->line(glance ? glance->streak : 0);
}

std::optional<QString> CompletionCelebration::topDistractionLine() const {
    if (!glance || !glance->topDistraction) return std::nullopt;
    return QStringLiteral("Top distraction this week: ") + *glance->topDistraction;
}

double CompletionCelebration::opacity(double elapsed, bool reducedMotion) const {
    if (reducedMotion || !std::isfinite(elapsed)) return 1;
    const double s = std::clamp((displayDuration() - elapsed) / celebration::fadeSeconds, 0.0, 1.0);
    return s * s * (3 - 2 * s);
}

namespace celebration {

QString announcement(TimerModel::Mode mode) {
    return TimerModel::title(mode) + QStringLiteral(" complete");
}

std::optional<CompletionCelebration> make(TimerModel::Mode mode, const Sources& sources) {
    if (!sources.model || !sources.preferences) return std::nullopt;
    AppPreferences& preferences = *sources.preferences;
    if (!preferences.celebrationsEnabled()) return std::nullopt;

    TimerModel& model = *sources.model;
    CompletionCelebration card;
    card.id = QUuid::createUuid();
    card.mode = mode;
    card.startedAt = model.now();

    const auto summary = model.sessionSummary();
    if (mode != TimerModel::Mode::focus || !summary) return card;

    // The callbacks act only while everything they reach still exists.
    const bool hasOwner = sources.owner != nullptr;
    const QPointer<QObject> owner(sources.owner);
    const QPointer<TimerModel> weakModel(&model);
    const QPointer<AppPreferences> weakPreferences(&preferences);
    const QPointer<TestimonialStore> weakStore(sources.testimonials);
    const bool hasStore = sources.testimonials != nullptr;

    card.summary = summary;
    card.glance = stats::glance(model.history(), card.startedAt, sources.driftLog);
    card.onStartBreak = [weakModel, owner, hasOwner] {
        if (hasOwner && !owner) return;
        if (weakModel) weakModel->toggle();
    };

    const qint64 sessions = model.history().totalSessions();
    if (sessions >= quotePromptMinimumSessions) {
        if (!preferences.testimonialPrompted() && !preferences.testimonialSubmitted()) {
            card.showQuotePrompt = true;
            card.onSubmitQuote = [weakStore, hasStore, weakPreferences, owner, hasOwner](
                                     const QString& text, bool mayQuote) {
                if (hasOwner && !owner) return;
                if (hasStore && weakStore) weakStore->add(text, mayQuote);
                if (weakPreferences) weakPreferences->setTestimonialSubmitted(true);
            };
        }
        preferences.setTestimonialPrompted(true);
    }
    return card;
}

Dismissal dismissal(const std::optional<CompletionCelebration>& current, const QUuid& cardID,
                    bool wasCollapsed, qint64 peekToken, qint64 peekGeneration) {
    if (!current || current->id != cardID) return Dismissal::none;
    if (wasCollapsed && peekToken == peekGeneration) return Dismissal::collapseIsland;
    return Dismissal::removeCard;
}

std::array<ConfettiPiece, confettiCount> confetti(double t, QSizeF canvas, bool reducedMotion) {
    if (reducedMotion || !std::isfinite(t)) t = 0.7;
    static const std::array<QColor, 5> palette = {
        islandstyle::focusColor(),
        islandstyle::breakColor(),
        QColor::fromRgbF(1.0f, 0.80f, 0.0f),    // yellow
        QColor::fromRgbF(0.20f, 0.68f, 0.90f),  // cyan
        QColor::fromRgbF(1.0f, 0.18f, 0.33f),   // pink
    };
    std::array<ConfettiPiece, confettiCount> pieces;
    const double w = canvas.width();
    const double h = canvas.height();
    for (int i = 0; i < confettiCount; ++i) {
        const double tau = std::max(0.0, t - (i % 8) * 0.035);
        const double v = 100 + (53 * i) % 150;
        const double theta = (((37 * i) % 101) / 100.0 * 0.76 + 0.12) * std::numbers::pi;
        ConfettiPiece& piece = pieces[static_cast<size_t>(i)];
        piece.position = QPointF(w * 0.5 + tau * v * std::cos(theta),
                                 h * 0.7 - tau * v * std::sin(theta) + 90 * tau * tau);
        piece.opacity = std::max(0.0, 1 - tau / 3);
        piece.rotation = 29 * i + 160 * tau;
        piece.size = QSizeF(4, i % 3 == 0 ? 4 : 8);
        piece.color = palette[static_cast<size_t>(i % 5)];
    }
    return pieces;
}

void paintConfetti(QPainter& p, const QRectF& canvas, double t, bool reducedMotion) {
    const auto pieces = confetti(t, canvas.size(), reducedMotion);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (const ConfettiPiece& piece : pieces) {
        if (piece.opacity <= 0) continue;
        p.save();
        p.translate(canvas.topLeft() + piece.position);
        p.rotate(piece.rotation);
        p.setOpacity(piece.opacity);
        p.setBrush(piece.color);
        p.drawRoundedRect(QRectF(-2, -4, piece.size.width(), piece.size.height()), 1, 1);
        p.restore();
    }
    p.restore();
}

bool confettiActive(double t) {
    // The last pieces start 0.245 s late and are gone 3 s after their start.
    return t < 3.3;
}

namespace quote {
QString prompt() {
    return QStringLiteral("Enjoying Tarnwhistle? Share a sentence.");
}
QString placeholder() {
    return QStringLiteral("It helps me…");
}
QString permission() {
    return QStringLiteral("You may quote this on the site");
}
QString send() {
    return QStringLiteral("Send");
}
QString thanks() {
    return QStringLiteral("Thank you — noted.");
}
}  // namespace quote

bool canSendQuote(const QString& text) {
    return !text.trimmed().isEmpty();
}

void sendQuote(const CompletionCelebration& card, QuotePromptState& state) {
    if (state.sent || !canSendQuote(state.text)) return;
    if (card.onSubmitQuote) card.onSubmitQuote(state.text, state.mayQuote);
    state.sent = true;
}

}  // namespace celebration

}  // namespace tw
