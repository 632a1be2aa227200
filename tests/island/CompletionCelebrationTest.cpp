#include <gtest/gtest.h>

#include <QObject>
#include <QTemporaryDir>
#include <memory>

#include "island/CompletionCelebration.h"
#include "timer/TestimonialStore.h"
#include "timer/TimerFixture.h"

namespace tw::test {
namespace {

// A model whose history already holds `earlier` finished sessions, one completed focus phase
// away from the card.
class CelebrationTest : public TimerFixture {
public:
    QTemporaryDir dir;
    std::unique_ptr<TestimonialStore> store;
    QObject owner;

    TimerModel& prepare(qint64 earlier) {
        FocusHistory h;
        h.days.insert(QStringLiteral("2025-03-06"),
                      FocusHistory::Totals{earlier * 1500.0, earlier});
        defaults.setData(QStringLiteral("weeklyFocusHistory"), h.encode());
        store = std::make_unique<TestimonialStore>(
            clock.clock(), dir.filePath(QStringLiteral("testimonials.json")));
        return make();
    }

    // Runs a one-minute focus phase to its end.
    void completeFocus() {
        model->setFocusMinutes(1);
        model->toggle();
        clock.advance(61);
        ASSERT_TRUE(model->sessionSummary().has_value());
    }

    std::optional<CompletionCelebration> celebrate(Mode mode) {
        return celebration::make(mode, {model.get(), prefs.get(), nullptr, store.get(), &owner});
    }
};

TEST_F(CelebrationTest, FocusCardCarriesFiguresAndStartsTheBreak) {
    prepare(2);
    completeFocus();
    auto card = celebrate(Mode::focus);
    ASSERT_TRUE(card);
    EXPECT_FALSE(card->id.isNull());
    EXPECT_EQ(card->startedAt, clock.now());
    ASSERT_TRUE(card->summary && card->glance);
    EXPECT_EQ(card->summary->minutes, 1);
    EXPECT_TRUE(card->showsFigures());
    EXPECT_FALSE(card->showQuotePrompt);
    EXPECT_EQ(card->displayDuration(), 8);
    EXPECT_EQ(card->title(), QStringLiteral("Focus complete!"));
    EXPECT_EQ(card->subtitle(), QStringLiteral("Nice work. Enjoy your break."));

    ASSERT_TRUE(card->onStartBreak);
    ASSERT_EQ(model->mode(), Mode::rest);
    ASSERT_EQ(model->runState(), RunState::idle);
    card->onStartBreak();
    EXPECT_EQ(model->runState(), RunState::running);
    EXPECT_EQ(model->mode(), Mode::rest);
}

TEST_F(CelebrationTest, BreakCardAndCelebrationsOff) {
    prepare(12);
    auto card = celebrate(Mode::rest);
    ASSERT_TRUE(card);
    EXPECT_FALSE(card->summary || card->glance || card->onStartBreak || card->showQuotePrompt);
    EXPECT_EQ(card->displayDuration(), 4);
    EXPECT_EQ(card->title(), QStringLiteral("Break complete!"));
    EXPECT_EQ(card->subtitle(), QStringLiteral("Refreshed and ready for your next focus."));
    EXPECT_FALSE(prefs->testimonialPrompted());

    completeFocus();
    prefs->setCelebrationsEnabled(false);
    EXPECT_FALSE(celebrate(Mode::focus));
    EXPECT_FALSE(prefs->testimonialPrompted()) << "no card, no flag";
    EXPECT_EQ(celebration::announcement(Mode::focus), QStringLiteral("Focus complete"));
    EXPECT_EQ(celebration::announcement(Mode::rest), QStringLiteral("Break complete"));
}

TEST_F(CelebrationTest, InvitationOnlyOnTheFirstCardFromTheTenthSession) {
    prepare(8);
    completeFocus();  // 9 sessions
    auto ninth = celebrate(Mode::focus);
    ASSERT_TRUE(ninth);
    EXPECT_FALSE(ninth->showQuotePrompt);
    EXPECT_FALSE(prefs->testimonialPrompted());

    clock.advance(400);  // past the break
    model->skip();
    completeFocus();  // 10 sessions
    ASSERT_EQ(model->history().totalSessions(), 10);
    auto tenth = celebrate(Mode::focus);
    ASSERT_TRUE(tenth);
    EXPECT_TRUE(tenth->showQuotePrompt);
    EXPECT_EQ(tenth->displayDuration(), 20);
    EXPECT_TRUE(prefs->testimonialPrompted());

    model->skip();
    completeFocus();  // 11 sessions
    EXPECT_FALSE(celebrate(Mode::focus)->showQuotePrompt);

    // The invitation's "Send" stores the sentence and remembers the submission.
    ASSERT_TRUE(tenth->onSubmitQuote);
    tenth->onSubmitQuote(QStringLiteral("  It helps me start.  "), false);
    ASSERT_EQ(store->entries().size(), 1);
    EXPECT_EQ(store->entries()[0].text, QStringLiteral("It helps me start."));
    EXPECT_FALSE(store->entries()[0].mayQuote);
    EXPECT_TRUE(prefs->testimonialSubmitted());
}

TEST_F(CelebrationTest, SubmittedTestimonialIsNeverAskedAgain) {
    prepare(20);
    prefs->setTestimonialSubmitted(true);
    completeFocus();
    EXPECT_FALSE(celebrate(Mode::focus)->showQuotePrompt);
}

TEST_F(CelebrationTest, CallbacksDoNothingOnceTheOwnerIsGone) {
    prepare(11);
    completeFocus();
    std::optional<CompletionCelebration> card;
    {
        QObject shortLived;
        card = celebration::make(Mode::focus,
                                 {model.get(), prefs.get(), nullptr, store.get(), &shortLived});
    }
    ASSERT_TRUE(card && card->showQuotePrompt);
    card->onStartBreak();
    EXPECT_EQ(model->runState(), RunState::idle);
    card->onSubmitQuote(QStringLiteral("Nice"), true);
    EXPECT_TRUE(store->entries().isEmpty());
    EXPECT_FALSE(prefs->testimonialSubmitted());
}

TEST(CompletionCelebration, SummaryLine) {
    struct Case {
        qint64 minutes, drifts, streak;
        bool glance;
        const char* expected;
    } cases[] = {
        {25, 1, 1, true, "25 min focused · 1 drift stopped"},
        {25, 3, 4, true, "25 min focused · 3 drifts stopped · 4-day streak"},
        {25, 0, 2, true, "25 min focused · 2-day streak"},
        {50, 0, 9, false, "50 min focused"},
    };
    for (const Case& c : cases) {
        CompletionCelebration card;
        card.summary = TimerModel::SessionSummary{c.minutes, c.drifts, {}};
        if (c.glance) card.glance = FocusGlance{0, 0, c.streak, c.streak, std::nullopt};
        EXPECT_EQ(card.summaryLine(), QString::fromUtf8(c.expected));
    }
    CompletionCelebration card;
    EXPECT_TRUE(card.summaryLine().isEmpty());
    EXPECT_FALSE(card.topDistractionLine());
    card.glance = FocusGlance{0, 0, 0, 0, QStringLiteral("news.example")};
    EXPECT_EQ(card.topDistractionLine(), QStringLiteral("Top distraction this week: news.example"));
}

TEST(CompletionCelebration, FadesInTheLastMomentUnlessMotionIsReduced) {
    CompletionCelebration card;  // 4 s
    EXPECT_DOUBLE_EQ(card.opacity(0, false), 1);
    EXPECT_DOUBLE_EQ(card.opacity(3.55, false), 1);
    EXPECT_NEAR(card.opacity(4 - 0.225, false), 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(card.opacity(4, false), 0);
    EXPECT_DOUBLE_EQ(card.opacity(4, true), 1);
}

TEST(CompletionCelebration, ConfettiMovesAndIsStillWithReducedMotion) {
    const QSizeF canvas(384, 180);
    const auto start = celebration::confetti(0, canvas, false);
    EXPECT_EQ(start[0].position, QPointF(192, 126));  // launched from the middle, 70 % down
    EXPECT_EQ(start[0].size, QSizeF(4, 4));
    EXPECT_EQ(start[1].size, QSizeF(4, 8));
    EXPECT_EQ(start[6].color, start[1].color);  // five colours in turn
    const auto later = celebration::confetti(1.2, canvas, false);
    EXPECT_NE(later[0].position, start[0].position);
    EXPECT_LT(later[0].opacity, 1);
    EXPECT_EQ(celebration::confetti(3.4, canvas, false)[63].opacity, 0);

    const auto still = celebration::confetti(0.7, canvas, false);
    for (double t : {0.0, 2.5, 19.0}) {
        const auto reduced = celebration::confetti(t, canvas, true);
        for (int i = 0; i < celebration::confettiCount; ++i)
            EXPECT_EQ(reduced[i].position, still[i].position);
    }
}

TEST(CompletionCelebration, DismissalRules) {
    using celebration::Dismissal;
    CompletionCelebration card;
    card.id = QUuid::createUuid();
    const std::optional<CompletionCelebration> shown = card;
    EXPECT_EQ(celebration::dismissal(shown, card.id, true, 4, 4), Dismissal::collapseIsland);
    EXPECT_EQ(celebration::dismissal(shown, card.id, true, 4, 5), Dismissal::removeCard)
        << "hovered or clicked meanwhile";
    EXPECT_EQ(celebration::dismissal(shown, card.id, false, 4, 4), Dismissal::removeCard)
        << "the island was open already";
    EXPECT_EQ(celebration::dismissal(shown, QUuid::createUuid(), true, 4, 4), Dismissal::none)
        << "a newer card replaced it";
    EXPECT_EQ(celebration::dismissal(std::nullopt, card.id, true, 4, 4), Dismissal::none);
}

TEST(CompletionCelebration, QuotePromptSendsOnceAndNeverBlanks) {
    CompletionCelebration card;
    int calls = 0;
    QString sentText;
    bool sentMayQuote = false;
    card.onSubmitQuote = [&](const QString& t, bool q) {
        ++calls;
        sentText = t;
        sentMayQuote = q;
    };
    celebration::QuotePromptState state;
    EXPECT_TRUE(state.mayQuote);
    state.text = QStringLiteral(" \n\t ");
    EXPECT_FALSE(celebration::canSendQuote(state.text));
    celebration::sendQuote(card, state);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(state.sent);

    state.text = QStringLiteral("Calm and clear.");
    celebration::sendQuote(card, state);
    celebration::sendQuote(card, state);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(state.sent);
    EXPECT_EQ(sentText, QStringLiteral("Calm and clear."));
    EXPECT_TRUE(sentMayQuote);

    // Without a callback the prompt still thanks the user.
    CompletionCelebration bare;
    celebration::QuotePromptState other;
    other.text = QStringLiteral("x");
    celebration::sendQuote(bare, other);
    EXPECT_TRUE(other.sent);
}

}  // namespace
}  // namespace tw::test
