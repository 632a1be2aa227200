#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

#include "support/Instant.h"

namespace tw {

// Blocked-site drifts per day and site, for the last 30 days, kept in
// $XDG_DATA_HOME/tarnwhistle/drift-log.json.
class DriftLog {
public:
    using Days = QMap<QString, QMap<QString, qint64>>;  // day key → site → count

    // The log over the default file, created on first use.
    static DriftLog& shared();
    static QString defaultFilePath();

    // Loads the file (missing or malformed → empty) and prunes it at `now`.
    explicit DriftLog(QString filePath, Instant now);

    void record(const QString& site, Instant at);
    std::optional<QString> topSite(int days, Instant at) const;
    qint64 totalDrifts(int days, Instant at) const;
    static QStringList dayKeys(int count, Instant day);

    const Days& days() const { return days_; }
    const QString& filePath() const { return fileURL_; }

    // The file form, public for the fuzzer.
    static std::optional<Days> decode(const QByteArray& bytes);
    static QByteArray encode(const Days& days);

private:
    void prune(Instant at);

    Days days_;
    QString fileURL_;
};

}  // namespace tw
