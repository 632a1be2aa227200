#include "widget/app/FocusWidgetProvider.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include "support/Paths.h"

namespace tw {

namespace {

// Far more than any suite holds; a larger file is not read into memory.
constexpr qint64 kMaxSuiteBytes = 16 * 1024 * 1024;

// A data value in a suite file is {"$data": "<base64>"} and nothing else.
std::optional<QByteArray> dataValue(const QJsonValue& v) {
    if (!v.isObject()) return std::nullopt;
    const QJsonObject o = v.toObject();
    const QJsonValue b = o.value(QLatin1String("$data"));
    if (o.size() != 1 || !b.isString()) return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(b.toString().toLatin1(),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    return *decoded;
}

}  // namespace

FocusWidgetProvider::FocusWidgetProvider(QString suitePath, WidgetClock clock)
    : suitePath_(suitePath.isEmpty() ? defaultSuitePath() : std::move(suitePath)),
      clock_(clock ? std::move(clock) : WidgetClock(systemWidgetClock)) {}

FocusWidgetEntry FocusWidgetProvider::placeholder() const {
    return {now(), FocusWidgetSnapshot::defaultSnapshot()};
}

FocusWidgetEntry FocusWidgetProvider::snapshot() const {
    const QDateTime t = now();
    return {t, load()};
}

FocusWidgetTimeline FocusWidgetProvider::timeline() const {
    const QDateTime t = now();
    return FocusWidgetTimeline::build(load(), t);
}

FocusWidgetSnapshot FocusWidgetProvider::loadFrom(const QString& path) {
    const FocusWidgetSnapshot fallback = FocusWidgetSnapshot::defaultSnapshot();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return fallback;
    if (file.size() > kMaxSuiteBytes) return fallback;
    const QByteArray bytes = file.read(kMaxSuiteBytes + 1);
    if (bytes.size() > kMaxSuiteBytes) return fallback;

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return fallback;
    const auto data =
        dataValue(doc.object().value(QLatin1String(FocusWidgetSnapshot::kDefaultsKey)));
    if (!data) return fallback;
    return FocusWidgetSnapshot::decode(*data).value_or(fallback);
}

QString FocusWidgetProvider::defaultSuitePath() {
    return paths::appGroupDefaultsFile();
}

}  // namespace tw
