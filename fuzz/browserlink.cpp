// Feeds arbitrary bytes to the frame reader and the message decoders the browser host and the
// program run on what the browser and the host send: nothing may crash, and whatever decodes must
// encode and decode again to the same message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "browserlink/Frames.h"
#include "browserlink/LinkMessages.h"

namespace bl = tw::browserlink;

namespace {

template <typename Decoded, typename Decode>
void roundTrip(const Decoded& decoded, Decode decode) {
    const QByteArray once = std::visit([](const auto& m) { return bl::encode(m); }, decoded);
    const auto again = decode(once);
    if (!again) std::abort();
    if (std::visit([](const auto& m) { return bl::encode(m); }, *again) != once) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    // The first byte chooses where the stream is cut in two.
    const qsizetype cut = size > 0 ? data[0] % (bytes.size() + 1) : 0;
    bl::FrameReader reader;
    reader.append(bytes.left(cut));
    QList<QByteArray> messages;
    while (auto m = reader.next()) messages.append(*m);
    reader.append(bytes.mid(cut));
    while (auto m = reader.next()) messages.append(*m);
    messages.append(bytes);  // and the bytes as one message

    for (const QByteArray& m : messages) {
        if (const auto e = bl::decodeFromExtension(m)) roundTrip(*e, bl::decodeFromExtension);
        if (const auto h = bl::decodeFromHost(m)) roundTrip(*h, bl::decodeFromHost);
        if (const auto r = bl::decodeRequest(m)) {
            const auto again = bl::decodeRequest(bl::encode(*r));
            if (!again || again->id != r->id || again->expected != r->expected) std::abort();
        }
    }
    return 0;
}
