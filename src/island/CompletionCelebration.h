#pragma once

// The completion card shown in the open island when a phase runs out: a plain value record the
// island controller creates and retires and the island views draw, plus everything about the
// card that is not drawing: its construction from the timer, the history and the preferences,
// its texts, how long it stays and fades, the confetti's motion, the testimonial invitation and
// the rule that decides what happens when its time is up.

#include <QColor>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QUuid>
#include <array>
#include <functional>
#include <optional>

#include "support/Instant.h"
#include "timer/FocusHistory.h"
#include "timer/TimerModel.h"

class QObject;
class QPainter;
class QRectF;

namespace tw {

class AppPreferences;
class DriftLog;
class TestimonialStore;

struct CompletionCelebration {
    QUuid id;                                           // new for every card
    TimerModel::Mode mode = TimerModel::Mode::focus;    // the mode of the phase that completed
    Instant startedAt;                                  // when the card was created
    std::optional<TimerModel::SessionSummary> summary;  // figures of the completed focus session
    std::optional<FocusGlance> glance;   // today's figures, streaks, the week's top distraction
    bool showQuotePrompt = false;        // the card carries the testimonial invitation
    std::function<void()> onStartBreak;  // "Start break"
    std::function<void(const QString& text, bool mayQuote)> onSubmitQuote;  // "Send"

    // Seconds the card stays: 20 with the invitation, 8 with figures, else 4.
    double displayDuration() const {
        if (showQuotePrompt) return 20;
        if (summary) return 8;
        return 4;
    }

    // "Focus complete!" / "Break complete!"
    QString title() const;
    // The line of encouragement under the title.
    QString subtitle() const;
    // "25 min focused · 3 drifts stopped · 4-day streak"; empty without a summary.
    QString summaryLine() const;
    // "Top distraction this week: <site>" when the glance names one.
    std::optional<QString> topDistractionLine() const;
    // The card's figures and its "Start break" button show (a focus card with a summary).
    bool showsFigures() const { return mode == TimerModel::Mode::focus && summary.has_value(); }

    // Opacity of the card `elapsed` seconds after `startedAt`: 1, easing to 0 over the last
    // 0.45 s of its display time; always 1 with reduced motion.
    double opacity(double elapsed, bool reducedMotion) const;
};

namespace celebration {

// The announcement for assistive technologies when a phase runs out: "Focus complete".
QString announcement(TimerModel::Mode mode);
inline constexpr int announcementPriority = 90;  // high

// The fade at the end of a card's display time, and the removal of a card from an island that
// stays open (spring response; linear `reducedRemoveSeconds` with reduced motion).
inline constexpr double fadeSeconds = 0.45;
inline constexpr double removeSpringResponse = 0.3;
inline constexpr double reducedRemoveSeconds = 0.01;
// The invitation appears once the history holds this many finished focus sessions.
inline constexpr qint64 quotePromptMinimumSessions = 10;

// What the card's builder reads and writes. The timer, the preferences and the store are held
// weakly by the card's callbacks, as is `owner` (the island controller): once any of them is
// gone the callbacks do nothing.
struct Sources {
    TimerModel* model = nullptr;
    AppPreferences* preferences = nullptr;
    const DriftLog* driftLog = nullptr;  // the week's top distraction; none without a log
    TestimonialStore* testimonials = nullptr;
    QObject* owner = nullptr;
};

// Builds the card for a completed phase of `mode`, or nothing when celebrations are switched
// off (then no flag changes). A focus card with the model's session summary carries the figures,
// today's glance and "Start break" (the model's toggle, which starts the break that follows).
// From the tenth finished session on, the first such card also carries the testimonial
// invitation when none was offered or submitted before, and `testimonialPrompted` is set.
std::optional<CompletionCelebration> make(TimerModel::Mode mode, const Sources& sources);

// What the controller does when a card's display time is up.
enum class Dismissal {
    none,            // the card was replaced or removed meanwhile
    collapseIsland,  // the card opened the island and nothing touched it since: close it
    removeCard,      // the island stays open; only the card goes
};
Dismissal dismissal(const std::optional<CompletionCelebration>& current, const QUuid& cardID,
                    bool wasCollapsed, qint64 peekToken, qint64 peekGeneration);

// One piece of confetti at a moment: where it is, how it is turned and what it looks like.
struct ConfettiPiece {
    QPointF position;     // y grows downward
    double rotation = 0;  // degrees
    double opacity = 0;
    QSizeF size;  // 4 × 4 or 4 × 8, drawn from (−2, −4) relative to the position
    QColor color;
};
inline constexpr int confettiCount = 64;
// The burst `t` seconds after the card appeared on a canvas of `canvas`; with reduced motion the
// picture is the one of t = 0.7 and never moves.
std::array<ConfettiPiece, confettiCount> confetti(double t, QSizeF canvas, bool reducedMotion);
void paintConfetti(QPainter& painter, const QRectF& canvas, double t, bool reducedMotion);
// Confetti is still visible (or still moving) `t` seconds after the card appeared.
bool confettiActive(double t);

// The testimonial invitation's texts and its state while the card shows.
namespace quote {
QString prompt();       // "Enjoying Tarnwhistle? Share a sentence."
QString placeholder();  // "It helps me…"
QString permission();   // "You may quote this on the site"
QString send();         // "Send"
QString thanks();       // "Thank you — noted."
}  // namespace quote

struct QuotePromptState {
    QUuid cardID;  // the card this state belongs to; a new card starts afresh
    QString text;
    bool mayQuote = true;
    bool sent = false;
};
// "Send" is enabled: the text is not only blanks and line breaks.
bool canSendQuote(const QString& text);
// "Send": hands the text and permission to the card's callback when there is one, then marks the
// prompt as sent. Does nothing while `canSendQuote` is false or after sending.
void sendQuote(const CompletionCelebration& card, QuotePromptState& state);

}  // namespace celebration

}  // namespace tw
