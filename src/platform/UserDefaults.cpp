#include "platform/UserDefaults.h"

#include <QCborArray>
#include <QDateTime>
#include <QFile>

#include "support/AtomicFile.h"
#include "support/Json.h"

namespace tw {

namespace {

const QString kDataKey = QStringLiteral("$data");

QCborValue toFileForm(const QCborValue& v) {
    switch (v.type()) {
        case QCborValue::ByteArray: {
            QCborMap m;
            m.insert(kDataKey, QString::fromLatin1(v.toByteArray().toBase64()));
            return m;
        }
        case QCborValue::Array: {
            QCborArray out;
            for (const QCborValue& e : v.toArray()) out.append(toFileForm(e));
            return out;
        }
        case QCborValue::Map: {
            QCborMap out;
            const QCborMap m = v.toMap();
            for (auto it = m.constBegin(); it != m.constEnd(); ++it) {
                out.insert(it.key(), toFileForm(it.value()));
            }
            return out;
        }
        default:
            return v;
    }
}

std::optional<QCborValue> fromFileForm(const QCborValue& v) {
    switch (v.type()) {
        case QCborValue::Array: {
            QCborArray out;
            for (const QCborValue& e : v.toArray()) {
                auto c = fromFileForm(e);
                if (!c) return std::nullopt;
                out.append(*c);
            }
            return QCborValue(out);
        }
        case QCborValue::Map: {
            const QCborMap m = v.toMap();
            if (m.size() == 1 && m.contains(kDataKey)) {
                const QCborValue b = m.value(kDataKey);
                if (!b.isString()) return std::nullopt;
                auto decoded = QByteArray::fromBase64Encoding(
                    b.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
                if (!decoded) return std::nullopt;
                return QCborValue(*decoded);
            }
            QCborMap out;
            for (auto it = m.constBegin(); it != m.constEnd(); ++it) {
                auto c = fromFileForm(it.value());
                if (!c) return std::nullopt;
                out.insert(it.key(), *c);
            }
            return QCborValue(out);
        }
        default:
            return v;
    }
}

}  // namespace

UserDefaults::UserDefaults(QString filePath, QObject* parent)
    : QObject(parent), path_(std::move(filePath)) {
    reload();
}

QByteArray UserDefaults::encode(const QCborMap& values) {
    return json::write(toFileForm(values)) + '\n';
}

std::optional<QCborMap> UserDefaults::decode(const QByteArray& bytes) {
    auto parsed = json::parse(bytes);
    if (!parsed || !parsed->isMap()) return std::nullopt;
    auto values = fromFileForm(*parsed);
    if (!values) return std::nullopt;
    return values->toMap();
}

void UserDefaults::reload() {
    values_ = {};
    if (path_.isEmpty()) return;
    QFile file(path_);
    if (!file.exists()) return;
    // A file that cannot be read is kept aside like one that does not parse: starting empty over
    // it would replace the user's settings at the next write.
    bool readable = file.open(QIODevice::ReadOnly);
    const QByteArray bytes = readable ? file.readAll() : QByteArray();
    readable = readable && file.error() == QFileDevice::NoError;
    file.close();
    if (readable) {
        if (auto decoded = decode(bytes)) {
            values_ = *decoded;
            return;
        }
    }
    // Keep the unreadable file for inspection and start afresh; nothing is lost silently.
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddTHHmmsszzz"));
    QFile::rename(path_, path_ + QStringLiteral(".corrupt-") + stamp);
}

QCborValue UserDefaults::object(const QString& key) const {
    auto it = values_.constFind(key);
    return it == values_.constEnd() ? QCborValue() : it.value();
}

bool UserDefaults::boolValue(const QString& key) const {
    const QCborValue v = object(key);
    switch (v.type()) {
        case QCborValue::True:
            return true;
        case QCborValue::Integer:
            return v.toInteger() != 0;
        case QCborValue::Double:
            return v.toDouble() != 0;
        case QCborValue::String: {
            const QString s = v.toString().trimmed().toLower();
            if (s == QLatin1String("true") || s == QLatin1String("yes")) return true;
            bool ok = false;
            const long long n = s.toLongLong(&ok);
            return ok && n != 0;
        }
        default:
            return false;
    }
}

std::optional<qint64> UserDefaults::integer(const QString& key) const {
    const QCborValue v = object(key);
    if (!v.isInteger()) return std::nullopt;
    return v.toInteger();
}

std::optional<QString> UserDefaults::string(const QString& key) const {
    const QCborValue v = object(key);
    if (!v.isString()) return std::nullopt;
    return v.toString();
}

std::optional<QStringList> UserDefaults::stringArray(const QString& key) const {
    const QCborValue v = object(key);
    if (!v.isArray()) return std::nullopt;
    QStringList out;
    for (const QCborValue& e : v.toArray()) {
        if (!e.isString()) return std::nullopt;
        out.append(e.toString());
    }
    return out;
}

std::optional<QByteArray> UserDefaults::data(const QString& key) const {
    const QCborValue v = object(key);
    if (!v.isByteArray()) return std::nullopt;
    return v.toByteArray();
}

void UserDefaults::setObject(const QString& key, const QCborValue& value) {
    if (value.isUndefined()) {
        remove(key);
        return;
    }
    // The same value again (the launch stores several that did not change) costs no write.
    const QCborValue old = values_.value(key);
    const bool same = values_.contains(key) && old.type() == value.type() && old == value;
    values_.insert(key, value);
    if (!same || unsaved_) save();
    Q_EMIT valueChanged(key);
}

void UserDefaults::setStringArray(const QString& key, const QStringList& v) {
    QCborArray a;
    for (const QString& s : v) a.append(s);
    setObject(key, a);
}

void UserDefaults::remove(const QString& key) {
    if (!values_.contains(key)) return;
    values_.remove(key);
    save();
    Q_EMIT valueChanged(key);
}

void UserDefaults::save() {
    if (path_.isEmpty()) return;
    unsaved_ = !writeFileAtomically(path_, encode(values_));
}

}  // namespace tw
