// Feeds arbitrary bytes to the stored-history reader. Whatever decodes must survive cleaning and a
// write and a second read unchanged; salvage must keep exactly the valid entries (all of them when
// the whole record decodes); crediting and the statistics must cope with any history.
//
// An input starting with '#' carries two 8-byte doubles (the start and end of a credited interval,
// in seconds around a fixed moment) before the JSON.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "support/Calendar.h"
#include "timer/FocusHistory.h"

namespace {

const tw::Instant kNow = tw::Instant::fromReference(763484400);  // 2025-03-12 in Berlin

void check(bool ok) {
    if (!ok) std::abort();
}

bool allValid(const tw::FocusHistory& h) {
    for (auto it = h.days.constBegin(); it != h.days.constEnd(); ++it) {
        if (!tw::FocusHistory::isValidEntry(it.key(), it.value())) return false;
    }
    return true;
}

// Encodes and decodes again; the result must equal the original apart from the ledger identifier,
// which is never written.
void roundTrip(const tw::FocusHistory& h) {
    const QByteArray bytes = h.encode();
    if (bytes.isEmpty()) return;  // a non-finite checkpoint: nothing would be stored
    auto back = tw::FocusHistory::decode(bytes);
    check(back.has_value());
    back->ledgerID = h.ledgerID;
    check(*back == h);
    check(back->encode() == bytes);
}

// The series walks every day from the first one, so it only runs over spans a real history has.
bool shortSpan(const tw::FocusHistory& h) {
    const QDate today = tw::Calendar::shared().localDate(kNow);
    for (const QString& key : h.days.keys()) {
        const auto d = tw::Calendar::dateFromDayKey(key);
        if (d && d->daysTo(today) > 4000) return false;
    }
    return true;
}

void statistics(const tw::FocusHistory& h) {
    if (shortSpan(h)) {
        const auto days = tw::stats::series(h, kNow);
        check(!days.empty());
        for (std::size_t i = 1; i < days.size(); ++i) check(days[i].date > days[i - 1].date);
    }
    const qint64 best = tw::stats::bestStreak(h);
    const qint64 current = tw::stats::currentStreak(h, kNow);
    check(best >= 0 && current >= 0 && current <= h.days.size() && best <= h.days.size());
    const tw::FocusGlance g = tw::stats::glance(h, kNow, nullptr);
    check(g.streak == current && g.bestStreak == best && !g.topDistraction);
}

double readDouble(const uint8_t* p) {
    double d;
    std::memcpy(&d, p, sizeof d);
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("TZ", "Europe/Berlin");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::optional<std::pair<double, double>> interval;
    if (size >= 17 && data[0] == '#') {
        interval = {readDouble(data + 1), readDouble(data + 9)};
        data += 17;
        size -= 17;
    }
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));

    const auto decoded = tw::FocusHistory::decode(bytes);
    const auto salvaged = tw::FocusHistory::salvage(bytes);
    if (decoded) {
        tw::FocusHistory cleaned = *decoded;
        cleaned.days = tw::FocusHistory::cleaned(cleaned.days);
        check(allValid(cleaned));
        roundTrip(cleaned);
        check(salvaged.has_value() && salvaged->days == cleaned.days);
        statistics(*decoded);  // the statistics also take uncleaned histories
    }
    if (!salvaged) return 0;
    check(allValid(*salvaged) && !salvaged->checkpoint && !salvaged->checkpointSession);
    roundTrip(*salvaged);
    statistics(*salvaged);

    if (interval) {
        // Keep the interval within a few weeks so that crediting stays quick.
        const auto clamp = [](double s) { return std::isfinite(s) ? std::fmod(s, 3e6) : s; };
        tw::FocusHistory h = *salvaged;
        const QUuid session = QUuid::createUuid();
        const double before = [&] {
            double total = 0;
            for (const auto& t : h.days) total += t.seconds;
            return total;
        }();
        const tw::Instant from = kNow + clamp(interval->first);
        const tw::Instant to = kNow + clamp(interval->second);
        h.credit(session, from, to, to);
        h.credit(session, from, to, to);  // nothing more the second time
        h.recordCompletedSession(session, to);
        h.recordCompletedSession(session, to);
        check(allValid(h));
        double after = 0;
        for (const auto& t : h.days) after += t.seconds;
        // Cleaning may drop entries, so the total never grows by more than the interval.
        check(!(after - before > std::max(0.0, to - from) + 1e-3));
        roundTrip(h);
        statistics(h);
    }
    return 0;
}
