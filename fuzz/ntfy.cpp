// Feeds arbitrary text to what reads the ntfy settings and replies: the topic parser (what a
// person typed or pasted, what is stored), the server address check and the Retry-After reader.
#include <QByteArray>
#include <QString>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "preferences/ServiceAddress.h"
#include "sync/NtfyReply.h"
#include "sync/NtfyTopic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);

    if (const auto topic = tw::NtfyTopic::parse(text)) {
        const QString alphabet = QString::fromLatin1(tw::NtfyTopic::alphabet);
        if (topic->name.size() != tw::NtfyTopic::length) std::abort();
        for (QChar c : topic->name) {
            if (!alphabet.contains(c)) std::abort();
        }
        if (tw::NtfyTopic::parse(topic->name) != topic) std::abort();
        if (tw::NtfyTopic::parse(topic->grouped()) != topic) std::abort();
    }

    if (const auto seconds = tw::parseRetryAfter(bytes)) {
        if (!std::isfinite(*seconds) || *seconds < 0) std::abort();
    }

    if (const auto url = tw::parseServiceAddress(text)) {
        if (url->scheme() != QLatin1String("https") || url->host().isEmpty()) std::abort();
        const auto again = tw::parseServiceAddress(url->toString());
        if (!again || *again != *url) std::abort();
    }
    return 0;
}
