#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>
#include <memory>

#include "island/IslandFixture.h"
#include "island/IslandState.h"
#include "island/IslandView.h"
#include "island/IslandViewStyle.h"
#include "island/IslandViewText.h"
#include "timer/TimerFixture.h"

namespace tw::test {
namespace {

using C = IslandControl;

// Records the regions of the paint events a widget receives.
class PaintRecorder : public QObject {
public:
    QList<QRegion> regions;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) regions << static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

class IslandViewTest : public TimerFixture {
public:
    std::unique_ptr<IslandState> island;
    std::unique_ptr<IslandView> view;
    QStringList requests;
    QList<IslandStyle> styles;
    QList<bool> hovers;

    void SetUp() override {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            GTEST_SKIP() << "needs a display (run under scripts/with-desktop)";
    }

    IslandView& build(IslandMetrics metrics) {
        make();
        island = std::make_unique<IslandState>(metrics);
        island->requestExpand = [this] { requests << QStringLiteral("expand"); };
        island->requestCollapse = [this] { requests << QStringLiteral("collapse"); };
        island->requestSettings = [this] { requests << QStringLiteral("settings"); };
        island->requestHistory = [this] { requests << QStringLiteral("history"); };
        island->requestToggleTimer = [this] { requests << QStringLiteral("toggleTimer"); };
        island->requestQuickMenu = [this] { requests << QStringLiteral("quickMenu"); };
        island->requestToggleStyle = [this] { requests << QStringLiteral("toggleStyle"); };
        island->requestStyle = [this](IslandStyle s) { styles << s; };
        island->hoverChanged = [this](bool h) { hovers << h; };
        view = std::make_unique<IslandView>(*model, *island, *prefs);
        view->reduceMotion = [] { return true; };
        return *view;
    }

    void click(C control) {
        const QRectF r = view->controlRect(control);
        ASSERT_FALSE(r.isEmpty()) << static_cast<int>(control);
        QTest::mouseClick(view.get(), Qt::LeftButton, {}, r.center().toPoint());
    }
    void clickAt(QPointF p) { QTest::mouseClick(view.get(), Qt::LeftButton, {}, p.toPoint()); }
    void moveTo(QPointF p) {
        QMouseEvent e(QEvent::MouseMove, p, view->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QApplication::sendEvent(view.get(), &e);
    }
    void type(QLineEdit* field, const QString& text) {
        field->setText(text);
        QTest::keyClick(field, Qt::Key_Return);
    }
};

TEST_F(IslandViewTest, ContentAndSizeFollowTheState) {
    build(pillMetrics());
    const auto size = [&] { return view->islandRect().size(); };
    EXPECT_EQ(view->content(), IslandContent::collapsed);
    EXPECT_EQ(size(), QSizeF(208, 26));
    EXPECT_EQ(view->islandRect().top(), 0);
    EXPECT_DOUBLE_EQ(view->islandRect().center().x(), view->width() / 2.0);

    island->setExpanded(true);
    EXPECT_EQ(view->content(), IslandContent::mini);
    EXPECT_EQ(size(), QSizeF(256, 128));

    island->setBlockedSite(QStringLiteral("news.example"));
    EXPECT_EQ(view->content(), IslandContent::blockedSite);
    EXPECT_EQ(size(), QSizeF(384, 180));
    island->setBlockWarning(QStringLiteral("video.example"));
    EXPECT_EQ(view->content(), IslandContent::blockWarning);
    island->setCelebration(CompletionCelebration{});
    EXPECT_EQ(view->content(), IslandContent::celebration);
    island->setCelebration(std::nullopt);
    island->setBlockWarning(std::nullopt);
    island->setBlockedSite(std::nullopt);

    island->setMetrics(notchMetrics());
    EXPECT_EQ(view->content(), IslandContent::expanded);
    EXPECT_EQ(size(), QSizeF(404, 188));
    EXPECT_EQ(view->size(), QSize(404 + 56, 188 + 28 + 24)) << "the largest panel";
    island->setHoveredDuration(Mode::rest);
    EXPECT_EQ(size(), QSizeF(404, 212));
}

TEST_F(IslandViewTest, OutlineOfEachState) {
    using S = islandstyle::ShapeParams;
    build(pillMetrics());
    EXPECT_EQ(view->shape(), (S{13, 13, 1}));
    island->setExpanded(true);
    EXPECT_EQ(view->shape(), (S{18, 18, 1}));
    island->setExpanded(false);
    // A dragged pill over the notch takes the notch look.
    island->setNotchPreviewMetrics(notchMetrics());
    EXPECT_EQ(view->shape(), (S{6, 10, 0}));
    island->setNotchPreviewMetrics(std::nullopt);
    island->setMetrics(notchMetrics());
    island->setHovering(true);
    EXPECT_EQ(view->shape(), (S{6, 14, 0})) << "hovered and idle";
    island->setExpanded(true);
    EXPECT_EQ(view->shape(), (S{12, 24, 0}));

    // detach 0 flares the top corners out to the full width; detach 1 keeps them inside.
    const QRectF r(10, 0, 200, 40);
    EXPECT_EQ(islandstyle::islandShapePath(r, {6, 10, 0}).boundingRect(), r);
    const QPainterPath capsule = islandstyle::islandShapePath(r, {20, 20, 1});
    EXPECT_EQ(capsule.boundingRect(), r);
    EXPECT_FALSE(capsule.contains(QPointF(11, 1)));
    EXPECT_TRUE(capsule.contains(r.center()));
}

TEST(IslandShapeTest, PlainRectanglesOnlyWhereTheOutlineIsOpaque) {
    // A 200 x 40 island at (10, 0): the rectangles a repaint may fill without the outline.
    const QRectF r(10, 0, 200, 40);
    struct Case {
        islandstyle::ShapeParams shape;
        QRectF area;
        bool inside;
        const char* what;
    };
    const Case cases[] = {
        {{20, 20, 1}, {100, 5, 30, 30}, true, "the middle of a capsule, top to bottom"},
        {{20, 20, 1}, {100, 0, 30, 30}, false, "touching the top edge (the rim)"},
        {{20, 20, 1}, {15, 15, 20, 10}, false, "in a capsule's rounded end"},
        {{18, 18, 1}, {140, 10, 40, 20}, true, "the time's place in an open pill"},
        {{6, 10, 0}, {50, 2, 100, 36}, true, "the full-height band of the notch look"},
        {{6, 10, 0}, {18, 10, 50, 8}, true, "the full-width band of the notch look"},
        {{6, 10, 0}, {11, 33, 10, 6}, false, "a bottom corner of the notch look"},
        {{6, 10, 0}, {}, false, "nothing to paint: not a fill"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(islandstyle::insideIslandShape(r, c.shape, c.area), c.inside) << c.what;
        // Whatever is reported inside really is inside the painted outline.
        if (c.inside) {
            const QPainterPath path = islandstyle::islandShapePath(r, c.shape);
            EXPECT_TRUE(path.contains(c.area)) << c.what;
        }
    }
}

TEST_F(IslandViewTest, SwipeCueMovesOnlyWhileTheHintShows) {
    build(notchMetrics());
    bool reduced = false;
    view->reduceMotion = [&] { return reduced; };
    view->show();
    EXPECT_FALSE(view->scrollCueAnimating()) << "not hovered";
    island->setHovering(true);
    EXPECT_TRUE(view->scrollCueAnimating()) << "hovered, idle, notch: the hint shows";
    view->hide();
    EXPECT_FALSE(view->scrollCueAnimating()) << "hidden";
    view->show();
    EXPECT_TRUE(view->scrollCueAnimating());
    model->toggle();
    EXPECT_FALSE(view->scrollCueAnimating()) << "running: the wings show instead";
    model->resetSession();
    EXPECT_TRUE(view->scrollCueAnimating()) << "idle again";
    island->setExpanded(true);
    EXPECT_FALSE(view->scrollCueAnimating()) << "open";
    island->setExpanded(false);
    reduced = true;
    island->setHovering(false);
    island->setHovering(true);
    EXPECT_FALSE(view->scrollCueAnimating()) << "reduced motion";
    reduced = false;
    island->setMetrics(pillMetrics());
    EXPECT_FALSE(view->scrollCueAnimating()) << "a pill has no swipe hint";
}

TEST_F(IslandViewTest, TapsOpenCloseAndButtonsDoOnlyTheirAction) {
    build(notchMetrics());
    model->toggle();  // running: the closed island shows its wings
    clickAt(view->islandRect().center());
    EXPECT_EQ(requests, QStringList{QStringLiteral("expand")});

    requests.clear();
    island->setExpanded(true);
    click(C::startPause);
    EXPECT_EQ(model->runState(), RunState::paused);
    EXPECT_TRUE(requests.isEmpty());
    click(C::settings);
    click(C::detach);
    EXPECT_EQ(styles, QList<IslandStyle>{IslandStyle::pill});
    // An empty place of the open island closes it; the transparent margin is not the island's.
    clickAt(QPointF(view->islandRect().left() + 200, view->islandRect().top() + 40));
    clickAt(QPointF(4, view->height() - 4));
    EXPECT_EQ(requests, (QStringList{QStringLiteral("settings"), QStringLiteral("collapse")}));

    click(C::reset);
    ASSERT_TRUE(model->undoOffer());
    EXPECT_EQ(model->undoOffer()->label, QStringLiteral("Session reset"));
    click(C::undo);
    EXPECT_FALSE(model->undoOffer());
    click(C::history);
    EXPECT_EQ(requests.last(), QStringLiteral("history"));

    // Escape closes the open island, and does nothing to a closed one.
    requests.clear();
    view->setFocus();
    QTest::keyClick(view.get(), Qt::Key_Escape);
    EXPECT_EQ(requests, QStringList{QStringLiteral("collapse")});
    island->setExpanded(false);
    QTest::keyClick(view.get(), Qt::Key_Escape);
    EXPECT_EQ(requests, QStringList{QStringLiteral("collapse")});
}

TEST_F(IslandViewTest, CountdownEditorAppliesTypedLengths) {
    build(notchMetrics());
    island->setExpanded(true);
    click(C::countdown);
    QLineEdit* field = view->countdownField();
    ASSERT_FALSE(field->isHidden());
    EXPECT_EQ(field->text(), QStringLiteral("25:00"));
    type(field, QStringLiteral("  40 \n"));
    EXPECT_TRUE(field->isHidden());
    EXPECT_EQ(model->focusMinutes(), 40);

    model->toggle();
    click(C::countdown);
    type(field, QStringLiteral("0:30"));
    EXPECT_EQ(model->remaining(), 30);

    click(C::countdown);
    type(field, QStringLiteral("121"));
    EXPECT_EQ(model->remaining(), 30);
    EXPECT_EQ(field->text(), QStringLiteral("0:30")) << "rejected input disappears";

    // Closing the island ends editing, applying the draft like a loss of focus.
    click(C::countdown);
    field->setText(QStringLiteral("12:00"));
    island->setExpanded(false);
    EXPECT_TRUE(field->isHidden());
    EXPECT_EQ(model->remaining(), 720);
}

TEST_F(IslandViewTest, DurationChipsStepTypeAndSelect) {
    build(notchMetrics());
    island->setExpanded(true);
    struct Case {
        const char* typed;
        int expected;
    } cases[] = {{"0", 1},    {"500", 120}, {"ten", 120},
                 {" +7 ", 7}, {"-3", 1},    {"99999999999999999999", 1}};
    for (const Case& c : cases) {
        click(C::breakValue);
        ASSERT_FALSE(view->chipField()->isHidden());
        type(view->chipField(), QString::fromUtf8(c.typed));
        EXPECT_EQ(model->breakMinutes(), c.expected) << c.typed;
        EXPECT_TRUE(view->chipField()->isHidden());
    }
    click(C::breakMinus);  // at 1
    EXPECT_EQ(model->breakMinutes(), 1);
    click(C::breakPlus);
    EXPECT_EQ(model->breakMinutes(), 2);
    model->setFocusMinutes(120);
    click(C::focusPlus);
    EXPECT_EQ(model->focusMinutes(), 120);
    click(C::focusMinus);
    EXPECT_EQ(model->focusMinutes(), 119);

    click(C::breakChip);
    EXPECT_EQ(model->mode(), Mode::rest);
    click(C::phaseFocus);
    EXPECT_EQ(model->mode(), Mode::focus);

    // Hovering a chip names its mode on the island (the hint line).
    moveTo(view->controlRect(C::breakChip).topLeft() + QPointF(8, 8));
    EXPECT_EQ(island->hoveredDuration(), Mode::rest);
    moveTo(view->controlRect(C::countdown).center());
    EXPECT_FALSE(island->hoveredDuration());
}

TEST_F(IslandViewTest, HoverReportsAndGrowsTheClosedPill) {
    build(pillMetrics());
    moveTo(view->islandRect().center());
    EXPECT_EQ(hovers, QList<bool>{true});
    EXPECT_TRUE(island->isHovering());
    EXPECT_EQ(view->islandRect().size(), QSizeF(208 + 12 + 160, 29));
    click(C::startPause);
    click(C::moreActions);
    EXPECT_EQ(requests, (QStringList{QStringLiteral("toggleTimer"), QStringLiteral("quickMenu")}));
    EXPECT_EQ(model->runState(), RunState::idle) << "the request goes to the controller";
    EXPECT_EQ(view->controlHelp(C::startPause), QStringLiteral("Start focus"));
    moveTo(QPointF(2, view->height() - 2));
    EXPECT_EQ(hovers, (QList<bool>{true, false}));
    EXPECT_FALSE(island->isHovering());

    // The open island reports hovering without touching the closed island's flag.
    island->setExpanded(true);
    moveTo(view->islandRect().center());
    EXPECT_EQ(hovers.last(), true);
    EXPECT_FALSE(island->isHovering());
}

TEST_F(IslandViewTest, ContextMenuItemsDependOnTheStyle) {
    build(pillMetrics());
    const auto titles = [&] {
        QStringList out;
        const auto menu = view->makeContextMenu();
        for (QAction* a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    };
    island->setPillLocked(true);
    EXPECT_EQ(titles(),
              (QStringList{"Sit at the top edge", "Tray only", "-", "History…", "Settings…",
                           "Unlock position", "Hide until hover", "-", "Quit Tarnwhistle"}));
    island->setMetrics(notchMetrics());
    EXPECT_EQ(titles(), (QStringList{"Float as a pill", "Tray only", "-", "History…", "Settings…",
                                     "-", "Quit Tarnwhistle"}));
    int quits = 0;
    view->onQuit = [&] { ++quits; };
    auto menu = view->makeContextMenu();
    menu->actions()[1]->trigger();
    menu->actions().last()->trigger();
    EXPECT_EQ(styles, QList<IslandStyle>{IslandStyle::menuBarOnly});
    EXPECT_EQ(quits, 1);
}

TEST_F(IslandViewTest, TextsOfTheOpenIsland) {
    build(notchMetrics());
    island->setExpanded(true);
    EXPECT_EQ(view->controlHelp(C::startPause), QStringLiteral("Start (Ctrl+Alt+Space)"));
    model->toggle();
    EXPECT_EQ(view->controlHelp(C::startPause), QStringLiteral("Pause (Ctrl+Alt+Space)"));
    EXPECT_TRUE(view->controlRect(C::shortcutWarning).isEmpty());
    prefs->setShortcutError(QStringLiteral("The system refused Ctrl+Alt+Space."));
    EXPECT_FALSE(view->controlRect(C::shortcutWarning).isEmpty());
    EXPECT_TRUE(view->controlRect(C::taskPicker).isEmpty());

    EXPECT_EQ(islandtext::historyLine(25, 1), QStringLiteral("Today: 25m · 1 session"));
    EXPECT_EQ(islandtext::historyLine(0, 0), QStringLiteral("Today: 0m · 0 sessions"));
    EXPECT_EQ(islandtext::blockWarningLine(QStringLiteral("a.example"), 7),
              QStringLiteral("a.example will be blocked in 7s"));
    EXPECT_EQ(islandtext::blockedNoticeLine(QStringLiteral("a.example"), 272),
              QStringLiteral("a.example blocked, 4:32 left"));
    ShortcutConfiguration all{49, modifier::all, QStringLiteral("Space")};
    EXPECT_EQ(tw::shortcutDisplayText(all), QStringLiteral("Ctrl+Alt+Shift+Super+Space"));

    // The task picker appears with TickTick and a hook.
    prefs->setTickTickEnabled(true);
    EXPECT_TRUE(view->controlRect(C::taskPicker).isEmpty()) << "no hook yet";
    view->setTaskPickerHook(FocusTaskSource{});
    EXPECT_FALSE(view->controlRect(C::taskPicker).isEmpty());
}

TEST(IslandViewText, SwipeHintWithItsEmphasisFitsTheHoveredStrip) {
    using Run = islandstyle::EmphasisRun;
    const QList<Run> runs = islandstyle::emphasisRuns(islandtext::swipeHint());
    EXPECT_EQ(runs, (QList<Run>{{QStringLiteral("Swipe"), true, false},
                                {QStringLiteral(" two fingers "), false, false},
                                {QStringLiteral("down"), false, true},
                                {QStringLiteral(" to open, "), false, false},
                                {QStringLiteral("up"), false, true},
                                {QStringLiteral(" to close."), false, false}}));
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    // The text beside the detach button of a hovered idle island without a notch.
    QImage canvas(400, 40, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&canvas);
    EXPECT_EQ(islandstyle::paintEmphasisedText(p, QRectF(0, 0, 400, 24), islandtext::swipeHint(),
                                               11, 8, Qt::white),
              11);
    const double fitted = islandstyle::paintEmphasisedText(
        p, QRectF(0, 0, 284 - 28 - 46, 24), islandtext::swipeHint(), 11, 8, Qt::white);
    EXPECT_LT(fitted, 11);
    EXPECT_GE(fitted, 8);
}

TEST_F(IslandViewTest, DraggedOpenPillShowsReleaseToAttach) {
    build(pillMetrics());
    island->setExpanded(true);
    EXPECT_FALSE(view->controlRect(C::history).isEmpty());
    island->setNotchPreviewMetrics(notchMetrics());
    EXPECT_EQ(view->content(), IslandContent::mini) << "an open pill keeps its card while dragged";
    EXPECT_EQ(view->islandRect().size(), QSizeF(256, 128));
    EXPECT_EQ(view->shape().detach, 0);
    EXPECT_TRUE(view->controlRect(C::history).isEmpty()) << "the bottom line is the attach hint";
}

TEST_F(IslandViewTest, CardButtonsAndQuotePrompt) {
    build(pillMetrics());
    island->setExpanded(true);
    int breaks = 0;
    QStringList quotes;
    CompletionCelebration card;
    card.id = QUuid::createUuid();
    card.summary = TimerModel::SessionSummary{25, 0, {}};
    card.showQuotePrompt = true;
    card.onStartBreak = [&] { ++breaks; };
    card.onSubmitQuote = [&](const QString& t, bool q) { quotes << t + (q ? "+" : "-"); };
    island->setCelebration(card);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    ASSERT_TRUE(view->quoteField()->isVisible());
    EXPECT_EQ(view->quoteField()->placeholderText(), QStringLiteral("It helps me…"));

    click(C::quoteSend);  // empty: disabled
    EXPECT_TRUE(quotes.isEmpty());
    view->quoteField()->setText(QStringLiteral("   "));
    click(C::quoteSend);
    EXPECT_TRUE(quotes.isEmpty());
    click(C::quoteMayQuote);
    view->quoteField()->setText(QStringLiteral("Keeps me going"));
    click(C::quoteSend);
    EXPECT_EQ(quotes, QStringList{QStringLiteral("Keeps me going-")});
    EXPECT_TRUE(view->quoteState().sent);
    EXPECT_FALSE(view->quoteField()->isVisible());

    click(C::startBreak);
    EXPECT_EQ(breaks, 1);
    view->setFocus();
    QTest::keyClick(view.get(), Qt::Key_Return);
    EXPECT_EQ(breaks, 2);

    // A new card starts a fresh prompt.
    card.id = QUuid::createUuid();
    island->setCelebration(card);
    EXPECT_FALSE(view->quoteState().sent);
    EXPECT_TRUE(view->quoteField()->text().isEmpty());
}

TEST_F(IslandViewTest, RunningTimerRepaintsOnlyTheCountdown) {
    build(notchMetrics());
    island->setExpanded(true);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    model->toggle();
    QCoreApplication::processEvents();
    view->finishAnimations();
    QCoreApplication::processEvents();

    PaintRecorder recorder;
    view->installEventFilter(&recorder);
    clock.advance(1);
    QCoreApplication::processEvents();
    ASSERT_EQ(recorder.regions.size(), 1);
    const QRect allowed = view->countdownRegion().toAlignedRect().adjusted(-3, -3, 3, 3);
    EXPECT_TRUE(allowed.contains(recorder.regions[0].boundingRect()))
        << "painted " << recorder.regions[0].boundingRect().width() << "x"
        << recorder.regions[0].boundingRect().height();
    view->removeEventFilter(&recorder);
}

TEST_F(IslandViewTest, ClosedPillRepaintsOnlyTheDigitsThatChange) {
    build(pillMetrics());
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    model->toggle();
    QCoreApplication::processEvents();
    view->finishAnimations();
    clock.advance(1.5);  // 24:59, off the second's edge
    QCoreApplication::processEvents();

    PaintRecorder recorder;
    view->installEventFilter(&recorder);
    for (const char* step : {"one digit (24:59 to 24:58)", "four digits (10:00 to 09:59)"}) {
        const bool minute = std::string(step).starts_with("four");
        if (minute) {
            clock.advance(model->remaining() - 600 - 0.5);  // to 10:00
            QCoreApplication::processEvents();
        }
        QImage frame = view->grab().toImage();  // the last frame
        recorder.regions.clear();
        clock.advance(1);
        QCoreApplication::processEvents();
        ASSERT_EQ(recorder.regions.size(), 1) << step;
        const QRect painted = recorder.regions[0].boundingRect();
        const QRectF time = view->layout().rect(C::countdown);
        EXPECT_LT(painted.height(), time.height()) << step << ": not up to the rounded edge";
        if (minute) {
            EXPECT_GT(painted.width(), time.width() * 0.6) << step;
        } else {
            EXPECT_LT(painted.width(), time.width() / 2) << step;
        }
        // The part repainted over the last frame is the whole new frame.
        view->render(&frame, painted.topLeft(), recorder.regions[0], QWidget::DrawChildren);
        // (The ring beside it moves by less than its step and is left alone.)
        const QRect compared = time.toAlignedRect();
        EXPECT_EQ(frame.copy(compared), view->grab().toImage().copy(compared)) << step;
    }
    view->removeEventFilter(&recorder);
}

}  // namespace
}  // namespace tw::test
