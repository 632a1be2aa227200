#pragma once

// The records the website client keeps and exchanges with the website: the stored credential,
// the replies it decodes, and the header values it reads. Decoding follows one rule: a reply must
// be a JSON object; unknown keys are ignored; a missing required key or a wrong type rejects the
// whole record.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

#include "support/Instant.h"

namespace tw {

// This computer's identity on the website, kept as JSON in the keyring.
struct Credential {
    static constexpr qint64 kVersion = 2;

    qint64 version = kVersion;  // a stored credential of another version is not used
    QString token;              // bearer token of authenticated requests
    QString deviceID;           // this computer's device identifier on the website
    QString accountID;          // the account the device belongs to
    QString website;            // the website address that issued it

    QByteArray encode() const;
    static std::optional<Credential> decode(const QByteArray& bytes);
    friend bool operator==(const Credential&, const Credential&) = default;
};

struct RegisterReply {
    QString accountID;
    QString deviceID;
    QString token;
    static std::optional<RegisterReply> decode(const QByteArray& bytes);
};

// What the website says along with a failing status; both keys are optional.
struct ServerError {
    std::optional<QString> error;
    std::optional<QString> code;
    static std::optional<ServerError> decode(const QByteArray& bytes);
};

struct ClaimReply {
    QString url;
    static std::optional<ClaimReply> decode(const QByteArray& bytes);
};

struct PairingReply {
    QString code;
    QString qr;            // the text the phone scans, shown as received
    qint64 expiresIn = 0;  // seconds
    static std::optional<PairingReply> decode(const QByteArray& bytes);
};

// A device of the account: this computer, other computers, phones ("ios", "android").
struct PairedDevice {
    QString id;
    QString platform;
    QString name;
    bool pushEnabled = false;
    bool isPhone() const;
    friend bool operator==(const PairedDevice&, const PairedDevice&) = default;
};

// The devices of the account in the order of the reply; none when the reply does not decode.
std::optional<QList<PairedDevice>> decodeDevicesReply(const QByteArray& bytes);

// A pairing code being shown: the text to type on the phone, the text of the QR square and
// when the code stops working.
struct PairingCode {
    QString code;
    QString deepLink;
    Instant expiresAt;
    friend bool operator==(const PairingCode&, const PairingCode&) = default;
};

// A device identifier that may be put into a request path: 1 to 64 ASCII letters, digits, "-"
// and "_".
bool isSafeDeviceID(const QString& id);

// The "Date" header of a reply ("Tue, 08 Dec 2026 23:30:00 GMT"); none when it does not parse.
std::optional<Instant> parseHttpDate(const QByteArray& header);
// The "Retry-After" header as a decimal number of seconds; none when it is absent or is not a
// number of seconds (an HTTP date, a negative or non-finite number).
std::optional<double> parseRetryAfter(const QByteArray& header);

}  // namespace tw
