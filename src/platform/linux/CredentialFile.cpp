#include "platform/linux/CredentialFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace tw::credentialfile {

Decoded decode(const QByteArray& bytes) {
    Decoded out;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        out.intact = false;
        return out;
    }
    const QJsonObject object = doc.object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (it.key().isEmpty() || !it.value().isString()) {
            out.intact = false;
            continue;
        }
        const auto blob = QByteArray::fromBase64Encoding(it.value().toString().toLatin1(),
                                                         QByteArray::AbortOnBase64DecodingErrors);
        // toLatin1 turns characters outside Latin-1 into '?', which the strict decoder refuses.
        if (!blob) {
            out.intact = false;
            continue;
        }
        out.items.insert(it.key(), blob.decoded);
    }
    return out;
}

QByteArray encode(const QMap<QString, QByteArray>& items) {
    QJsonObject object;
    for (auto it = items.constBegin(); it != items.constEnd(); ++it) {
        object.insert(it.key(), QString::fromLatin1(it.value().toBase64()));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

}  // namespace tw::credentialfile
