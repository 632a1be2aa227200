// Feeds arbitrary bytes to the focus event decoder and the timestamp reader: whatever decodes
// must encode to the same event, and a timestamp that reads must be written back as it was.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sync/FocusEvent.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto event = tw::FocusEvent::decode(bytes)) {
        const auto again = tw::FocusEvent::decode(event->encoded());
        if (!again || *again != *event) std::abort();
    }
    const QString text = QString::fromUtf8(bytes);
    if (const auto t = tw::parseEventTimestamp(text)) {
        if (tw::eventTimestamp(*t) != text) std::abort();
    }
    return 0;
}
