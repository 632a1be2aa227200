#include "sync/NtfyTopic.h"

#include <sys/random.h>

#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

namespace tw {

namespace {

constexpr int kRandomBytes = 20;

// Fills `out` from the kernel's random source; false if it fails.
bool secureRandom(char* out, size_t size) {
    size_t filled = 0;
    while (filled < size) {
        const ssize_t n = getrandom(out + filled, size - filled, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        filled += size_t(n);
    }
    return true;
}

}  // namespace

NtfyTopic NtfyTopic::generate() {
    QByteArray bytes(kRandomBytes, '\0');
    if (!secureRandom(bytes.data(), size_t(bytes.size()))) {
        for (char& c : bytes) c = char(QRandomGenerator::global()->bounded(256));
    }
    return fromBytes(bytes);
}

NtfyTopic NtfyTopic::fromBytes(const QByteArray& bytes) {
    QString name;
    name.reserve(length);
    quint32 buffer = 0;
    int bits = 0;
    for (int i = 0; i < kRandomBytes; ++i) {
        const quint8 byte = i < bytes.size() ? quint8(bytes[i]) : 0;
        buffer = (buffer << 8) | byte;
        bits += 8;
        while (bits >= 5) {
            bits -= 5;
            name.append(QLatin1Char(alphabet[(buffer >> bits) & 0x1f]));
        }
    }
    return NtfyTopic{name};
}

std::optional<NtfyTopic> NtfyTopic::parse(const QString& text) {
    QString name;
    for (QChar c : text.toLower()) {
        if (c == u'o') c = u'0';
        if (c == u'i' || c == u'l') c = u'1';
        if (c.unicode() < 128 && std::strchr(alphabet, char(c.unicode())) != nullptr &&
            c.unicode() != 0) {
            name.append(c);
            if (name.size() > length) return std::nullopt;
        }
    }
    if (name.size() != length) return std::nullopt;
    return NtfyTopic{name};
}

QString NtfyTopic::grouped() const {
    QString out;
    for (qsizetype i = 0; i < name.size(); i += 4) {
        if (!out.isEmpty()) out.append(u' ');
        out.append(name.mid(i, 4));
    }
    return out;
}

}  // namespace tw
