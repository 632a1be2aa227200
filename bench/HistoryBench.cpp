// Statistics and the stored form over ten years of daily history.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include "support/Calendar.h"
#include "timer/DriftLog.h"
#include "timer/FocusHistory.h"

namespace tw {
namespace {

constexpr int kDays = 3650;

// Days are computed in a zone with daylight-saving changes, as most users' are.
const Calendar& benchCalendar() {
    qputenv("TZ", "Europe/Berlin");
    return Calendar::shared();
}

Instant today() {
    return benchCalendar().startOfDay(QDate(2025, 3, 12)) + 15 * 3600.0;
}

// Ten years of focus ending today. With `gaps`, every ninth day has time but no completed
// session and every thirteenth day has no entry; without, every day has a session (the longest
// walk for the current streak).
FocusHistory tenYears(bool gaps) {
    FocusHistory h;
    const QDate last(2025, 3, 12);
    for (int i = 0; i < kDays; ++i) {
        if (gaps && i % 13 == 5) continue;
        const qint64 sessions = gaps && i % 9 == 4 ? 0 : 1 + i % 4;
        h.days.insert(Calendar::dayKey(last.addDays(-i)), {1500.0 * sessions + 37.25, sessions});
    }
    h.checkpointSession = QUuid::createUuid();
    h.checkpoint = today();
    h.lastCompletedSession = h.checkpointSession;
    return h;
}

void BM_Series(benchmark::State& state) {
    const FocusHistory h = tenYears(true);
    const Instant t = today();
    for (auto _ : state) benchmark::DoNotOptimize(stats::series(h, t));
}
BENCHMARK(BM_Series)->Unit(benchmark::kMicrosecond);

void BM_CurrentStreak(benchmark::State& state) {
    const FocusHistory h = tenYears(false);
    const Instant t = today();
    for (auto _ : state) benchmark::DoNotOptimize(stats::currentStreak(h, t));
}
BENCHMARK(BM_CurrentStreak)->Unit(benchmark::kMicrosecond);

void BM_BestStreak(benchmark::State& state) {
    const FocusHistory h = tenYears(true);
    for (auto _ : state) benchmark::DoNotOptimize(stats::bestStreak(h));
}
BENCHMARK(BM_BestStreak)->Unit(benchmark::kMicrosecond);

void BM_Glance(benchmark::State& state) {
    const FocusHistory h = tenYears(false);
    const Instant t = today();
    QTemporaryDir dir;
    DriftLog drifts(QDir(dir.path()).filePath("drift-log.json"), t);
    for (int day = 0; day < 30; ++day) {
        for (int site = 0; site < 8; ++site) {
            drifts.record(QStringLiteral("site%1.example").arg(site), t - day * 86400.0);
        }
    }
    for (auto _ : state) benchmark::DoNotOptimize(stats::glance(h, t, &drifts));
}
BENCHMARK(BM_Glance)->Unit(benchmark::kMicrosecond);

// What loading and saving the history costs: decode, clean, encode.
void BM_DecodeCleanEncode(benchmark::State& state) {
    const QByteArray bytes = tenYears(true).encode();
    for (auto _ : state) {
        auto h = FocusHistory::decode(bytes);
        h->days = FocusHistory::cleaned(h->days);
        benchmark::DoNotOptimize(h->encode());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes.size());
}
BENCHMARK(BM_DecodeCleanEncode)->Unit(benchmark::kMicrosecond);

// The live history of a running phase: a copy credited up to the moment, once per tick.
void BM_LiveCredit(benchmark::State& state) {
    const FocusHistory h = tenYears(true);
    const QUuid session = *h.checkpointSession;
    const Instant t = today();  // the checkpoint
    for (auto _ : state) {
        FocusHistory copy = h;
        copy.credit(session, t - 60, t + 1, t + 1);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_LiveCredit)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tw
