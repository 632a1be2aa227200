#include <benchmark/benchmark.h>

#include "platform/UserDefaults.h"
#include "platform/fake/FakeScheduler.h"
#include "preferences/AppPreferences.h"
#include "support/Calendar.h"
#include "timer/TimerModel.h"

namespace {

// A 10-year history with a session on most days.
QByteArray tenYearHistory(tw::Instant today) {
    tw::FocusHistory h;
    const tw::Calendar& cal = tw::Calendar::shared();
    const QDate last = cal.localDate(today);
    for (int i = 0; i < 3650; ++i) {
        const QDate d = last.addDays(-i);
        if (i % 11 == 5) continue;
        h.days.insert(tw::Calendar::dayKey(d), {double(1500 + i % 900), 1 + i % 4});
    }
    return h.encode();
}

struct Bench {
    tw::FakeScheduler clock;
    tw::UserDefaults defaults;
    tw::AppPreferences prefs{defaults};
    std::unique_ptr<tw::TimerModel> model;
    Bench() {
        defaults.setData(QStringLiteral("weeklyFocusHistory"), tenYearHistory(clock.now()));
        model = std::make_unique<tw::TimerModel>(prefs, defaults, clock, nullptr);
    }
};

void BM_FullSeriesCached(benchmark::State& state) {
    Bench b;
    b.model->fullSeries();
    for (auto _ : state) benchmark::DoNotOptimize(b.model->fullSeries().size());
}
BENCHMARK(BM_FullSeriesCached);

void BM_FullSeriesUncached(benchmark::State& state) {
    Bench b;
    b.model->start(1500);
    for (auto _ : state) {
        b.clock.advance(1);  // one tick: a new remaining time invalidates the cache
        benchmark::DoNotOptimize(b.model->fullSeries().size());
    }
}
BENCHMARK(BM_FullSeriesUncached)->Unit(benchmark::kMillisecond)->Iterations(200);

// One tick of a running focus phase, end to end through the model (in-memory defaults).
void BM_Tick(benchmark::State& state) {
    Bench b;
    b.model->start(7200);
    int n = 0;
    for (auto _ : state) {
        b.clock.advance(1);
        if (++n == 7000) {
            state.PauseTiming();
            b.model->start(7200);
            n = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_Tick)->Unit(benchmark::kMicrosecond);

}  // namespace
