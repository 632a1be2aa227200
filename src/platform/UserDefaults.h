#pragma once

#include <QByteArray>
#include <QCborMap>
#include <QCborValue>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

// A user-defaults suite: typed values by key, kept in one JSON object file.
//
// In the file, booleans, numbers, strings and arrays are themselves; a data value is
// {"$data": "<base64>"}; integers are written without a fraction and doubles always with one, so
// integer and double reads stay apart. Every change rewrites the file atomically. A file that
// does not parse is moved aside as "<name>.corrupt-<timestamp>" and the suite starts empty.
// With an empty path the suite lives in memory only.
class UserDefaults : public QObject {
    Q_OBJECT
public:
    explicit UserDefaults(QString filePath = {}, QObject* parent = nullptr);

    const QString& filePath() const { return path_; }
    // Reads the file again, dropping the values in memory (a second process may have written it).
    void reload();

    bool contains(const QString& key) const { return values_.contains(key); }
    // The stored object, undefined when absent. Data values are byte arrays.
    QCborValue object(const QString& key) const;
    // Like the platform's boolean read: absent → false; numbers → non-zero; "true"/"yes"/"1".
    bool boolValue(const QString& key) const;
    std::optional<qint64> integer(const QString& key) const;
    std::optional<QString> string(const QString& key) const;
    // Only an array whose every element is a string.
    std::optional<QStringList> stringArray(const QString& key) const;
    std::optional<QByteArray> data(const QString& key) const;

    void setObject(const QString& key, const QCborValue& value);
    void setBool(const QString& key, bool v) { setObject(key, QCborValue(v)); }
    void setInteger(const QString& key, qint64 v) { setObject(key, QCborValue(v)); }
    void setDouble(const QString& key, double v) { setObject(key, QCborValue(v)); }
    void setString(const QString& key, const QString& v) { setObject(key, QCborValue(v)); }
    void setStringArray(const QString& key, const QStringList& v);
    void setData(const QString& key, const QByteArray& v) { setObject(key, QCborValue(v)); }
    void remove(const QString& key);

    // The file form of a suite and its reading; public for the fuzzers and the tests.
    static QByteArray encode(const QCborMap& values);
    static std::optional<QCborMap> decode(const QByteArray& bytes);

Q_SIGNALS:
    void valueChanged(const QString& key);

private:
    void save();
    bool unsaved_ = false;  // the last write failed: the file is behind the values

    QString path_;
    QCborMap values_;
};

}  // namespace tw
