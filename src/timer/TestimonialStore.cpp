#include "timer/TestimonialStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "support/AtomicFile.h"
#include "support/Paths.h"

namespace tw {

QString TestimonialStore::defaultFilePath() {
    return paths::dataDir() + QStringLiteral("/testimonials.json");
}

TestimonialStore::TestimonialStore(Clock clock, QString filePath, QObject* parent)
    : QObject(parent), clock_(std::move(clock)), filePath_(std::move(filePath)) {
    QDir().mkpath(QFileInfo(filePath_).absolutePath());
    QFile file(filePath_);
    if (!file.exists()) return;
    if (!file.open(QIODevice::ReadOnly)) {
        keepAsideBeforeWrite_ = true;
        return;
    }
    if (auto decoded = decode(file.readAll())) {
        entries_ = *decoded;
    } else {
        keepAsideBeforeWrite_ = true;
    }
}

void TestimonialStore::add(const QString& text, bool mayQuote) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return;
    entries_.append(Testimonial{trimmed, mayQuote, clock_()});
    Q_EMIT entriesChanged();

    const QByteArray bytes = encode(entries_);
    if (bytes.isEmpty()) return;
    if (keepAsideBeforeWrite_) {
        // The old file could not be read: keep it next to the new one rather than overwrite it.
        const QString stamp = clock_().toDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        const QString aside = filePath_ + QStringLiteral(".corrupt-") + stamp;
        if (QFile::exists(filePath_) && !QFile::exists(aside) && !QFile::rename(filePath_, aside))
            return;  // neither kept aside nor replaced: the entry stays in memory only
        keepAsideBeforeWrite_ = false;
    }
    writeFileAtomically(filePath_, bytes);
}

QByteArray TestimonialStore::encode(const QList<Testimonial>& entries) {
    QJsonArray array;
    for (const Testimonial& t : entries) {
        if (!t.submittedAt.isFinite()) return {};
        QJsonObject o;
        o.insert(QStringLiteral("text"), t.text);
        o.insert(QStringLiteral("mayQuote"), t.mayQuote);
        o.insert(QStringLiteral("submittedAt"), t.submittedAt.seconds);
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<Testimonial>> TestimonialStore::decode(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return std::nullopt;
    QList<Testimonial> out;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isObject()) return std::nullopt;
        const QJsonObject o = v.toObject();
        const QJsonValue text = o.value(QStringLiteral("text"));
        const QJsonValue mayQuote = o.value(QStringLiteral("mayQuote"));
        const QJsonValue at = o.value(QStringLiteral("submittedAt"));
        if (!text.isString() || !mayQuote.isBool() || !at.isDouble()) return std::nullopt;
        out.append(
            Testimonial{text.toString(), mayQuote.toBool(), Instant::fromReference(at.toDouble())});
    }
    return out;
}

}  // namespace tw
