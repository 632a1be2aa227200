// Measures the real ticker: runs a focus phase on the system clock and Qt's timers and records,
// for each tick, how far after a whole second of the remaining time it fired. Prints the median
// and the 95th percentile in milliseconds. Usage: tw-tick-probe [TICKS] (default 60).
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/UserDefaults.h"
#include "platform/linux/QtScheduler.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int ticks = argc > 1 ? std::max(1, atoi(argv[1])) : 60;

    tw::UserDefaults defaults;  // in memory
    tw::AppPreferences preferences(defaults);
    tw::QtScheduler scheduler;
    tw::TimerModel model(preferences, defaults, scheduler, nullptr);

    std::vector<double> offsets;
    QObject::connect(&model, &tw::TimerModel::remainingChanged, &app, [&](qint64) {
        if (!model.endDate()) return;
        const double left = *model.endDate() - scheduler.now();
        const double offset = std::ceil(left) - left;  // time since the whole second passed
        offsets.push_back(offset * 1000.0);
        if (int(offsets.size()) >= ticks) app.quit();
    });
    model.start(3600);
    app.exec();

    std::vector<double> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    const auto pct = [&](double p) {
        const size_t i = std::min(sorted.size() - 1, size_t(std::ceil(p * sorted.size())) - 1);
        return sorted[i];
    };
    std::printf("ticks=%zu median_offset_ms=%.2f p95_offset_ms=%.2f max_offset_ms=%.2f\n",
                sorted.size(), pct(0.5), pct(0.95), sorted.back());
    return 0;
}
