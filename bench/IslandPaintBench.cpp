// Painting the island into an image in each of its states. Goal: under 2 ms for the open island.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <memory>

#include "island/IslandState.h"
#include "island/IslandView.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeScheduler.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace {

using namespace tw;

QApplication& application() {
    static int argc = 1;
    static char name[] = "tarnwhistle_bench";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> app = [] {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QApplication>(argc, argv);
    }();
    return *app;
}

IslandMetrics metricsFor(bool pill) {
    IslandMetrics m;
    m.style = pill ? IslandStyle::pill : IslandStyle::notch;
    m.notchWidth = pill ? 0 : 200;
    m.hasNotch = !pill;
    m.notchHeight = pill ? 28 : 32;
    m.menuBarDepth = m.notchHeight;
    return m;
}

enum class State { collapsed, hovered, expanded, mini, card };

void paintState(benchmark::State& bench, State which) {
    application();
    FakeScheduler clock;
    UserDefaults defaults;
    AppPreferences prefs(defaults);
    TimerModel model(prefs, defaults, clock, nullptr);
    IslandState island(metricsFor(which != State::expanded));
    IslandView view(model, island, prefs);
    view.reduceMotion = [] { return true; };
    model.toggle();
    switch (which) {
        case State::collapsed:
            break;
        case State::hovered:
            island.setHovering(true);
            break;
        case State::expanded:
        case State::mini:
            island.setExpanded(true);
            break;
        case State::card: {
            island.setExpanded(true);
            CompletionCelebration card;
            card.id = QUuid::createUuid();
            card.startedAt = clock.now() - 0.7;
            card.summary = TimerModel::SessionSummary{25, 2, {}};
            card.glance = FocusGlance{50, 2, 3, 5, QStringLiteral("news.example")};
            island.setCelebration(card);
            break;
        }
    }
    view.finishAnimations();
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : bench) {
        image.fill(Qt::transparent);
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_IslandPaintCollapsed(benchmark::State& s) {
    paintState(s, State::collapsed);
}
void BM_IslandPaintHoveredPill(benchmark::State& s) {
    paintState(s, State::hovered);
}
void BM_IslandPaintExpanded(benchmark::State& s) {
    paintState(s, State::expanded);
}
void BM_IslandPaintMiniPill(benchmark::State& s) {
    paintState(s, State::mini);
}
void BM_IslandPaintCelebration(benchmark::State& s) {
    paintState(s, State::card);
}

// One tick end to end: the clock passes a second, the model ticks and publishes, the open island
// marks its countdown dirty, and that region is painted.
void BM_IslandTickEndToEnd(benchmark::State& bench) {
    application();
    FakeScheduler clock;
    UserDefaults defaults;
    AppPreferences prefs(defaults);
    TimerModel model(prefs, defaults, clock, nullptr);
    IslandState island(metricsFor(true));
    IslandView view(model, island, prefs);
    view.reduceMotion = [] { return true; };
    island.setExpanded(true);
    model.start(7200);
    view.finishAnimations();
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    int n = 0;
    for (auto _ : bench) {
        clock.advance(1);
        const QRect dirty = view.countdownRegion().toAlignedRect();
        view.render(&image, dirty.topLeft(), QRegion(dirty), QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
        if (++n == 7000) {
            bench.PauseTiming();
            model.start(7200);
            n = 0;
            bench.ResumeTiming();
        }
    }
}
BENCHMARK(BM_IslandTickEndToEnd)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_IslandPaintCollapsed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IslandPaintHoveredPill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IslandPaintExpanded)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IslandPaintMiniPill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IslandPaintCelebration)->Unit(benchmark::kMicrosecond);

}  // namespace
