#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

namespace tw::credentialfile {

// The file form of the credentials kept outside a keyring: one JSON object from service name to
// the blob in base64, {"dev.tarnwhistle.ticktick": "eyJ0b2tlbiI6…"}.
struct Decoded {
    QMap<QString, QByteArray> items;
    // False when the text was not such an object or an entry had to be left out (an empty name,
    // a value that is not base64 text); `items` then holds what could be salvaged.
    bool intact = true;
};

Decoded decode(const QByteArray& bytes);
QByteArray encode(const QMap<QString, QByteArray>& items);

}  // namespace tw::credentialfile
