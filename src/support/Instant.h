#pragma once

#include <QDateTime>
#include <cmath>
#include <compare>
#include <cstdint>

namespace tw {

// An absolute moment with sub-second precision, kept as seconds since 2001-01-01 00:00:00 UTC,
// the reference date of every stored timestamp of the timer and the history.
struct Instant {
    double seconds = 0;  // since 2001-01-01 00:00:00 UTC

    static constexpr double kUnixOffset = 978307200.0;  // 1970 → 2001

    static constexpr Instant fromReference(double s) { return Instant{s}; }
    static Instant fromUnix(double unixSeconds) { return Instant{unixSeconds - kUnixOffset}; }
    static Instant fromDateTime(const QDateTime& dt) {
        return fromUnix(static_cast<double>(dt.toMSecsSinceEpoch()) / 1000.0);
    }
    static Instant distantFuture() { return Instant{63113904000.0}; }  // about year 4001

    double toUnix() const { return seconds + kUnixOffset; }
    qint64 toUnixMSecs() const { return static_cast<qint64>(std::llround(toUnix() * 1000.0)); }
    QDateTime toDateTime() const { return QDateTime::fromMSecsSinceEpoch(toUnixMSecs(), Qt::UTC); }
    bool isFinite() const { return std::isfinite(seconds); }

    friend constexpr Instant operator+(Instant a, double s) { return Instant{a.seconds + s}; }
    friend constexpr Instant operator-(Instant a, double s) { return Instant{a.seconds - s}; }
    friend constexpr double operator-(Instant a, Instant b) { return a.seconds - b.seconds; }
    Instant& operator+=(double s) {
        seconds += s;
        return *this;
    }
    friend constexpr auto operator<=>(Instant a, Instant b) = default;
    friend constexpr bool operator==(Instant a, Instant b) = default;
};

inline Instant earlier(Instant a, Instant b) {
    return b < a ? b : a;
}
inline Instant later(Instant a, Instant b) {
    return a < b ? b : a;
}

// Whole seconds rounded up, as every "ceiling(end − now)" of the timer needs. Values far outside
// the 64-bit range saturate rather than overflow.
inline qint64 ceilSeconds(double s) {
    if (std::isnan(s)) return 0;
    const double c = std::ceil(s);
    if (c >= 9.2e18) return INT64_MAX;
    if (c <= -9.2e18) return INT64_MIN;
    return static_cast<qint64>(c);
}

}  // namespace tw
