#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tw {

// The private ntfy topic the phone notifications are published to: 32 characters from
// "0123456789abcdefghjkmnpqrstvwxyz" (digits and lower-case letters without i, l, o and u), 160
// random bits. Whoever knows it receives the alerts, so it is long, random and replaceable.
struct NtfyTopic {
    static constexpr int length = 32;
    static constexpr const char* alphabet = "0123456789abcdefghjkmnpqrstvwxyz";

    QString name;

    // A new topic from 20 bytes of the system's cryptographically secure random source (the
    // general-purpose generator only if that source fails).
    static NtfyTopic generate();
    // The topic of 20 bytes: base32 over the alphabet above, most significant bit first.
    static NtfyTopic fromBytes(const QByteArray& twentyBytes);
    // Reads a topic as a person may have written or copied it: lower-cased, "o" read as "0", "i"
    // and "l" as "1", every other character outside the alphabet dropped (spaces, dashes, "u");
    // a topic only if exactly 32 characters remain.
    static std::optional<NtfyTopic> parse(const QString& text);

    // The name in groups of four separated by spaces, as the settings show it.
    QString grouped() const;

    friend bool operator==(const NtfyTopic&, const NtfyTopic&) = default;
};

}  // namespace tw
