// Feeds arbitrary bytes to the decoders of the browser extension's answers. A tab that decodes
// must encode and decode to itself; nothing may crash.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/BrowserAutomation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto tab = tw::decodeFrontTab(bytes);
    if (const auto* decoded = std::get_if<std::optional<tw::BrowserTab>>(&tab);
        decoded && *decoded) {
        const auto again = tw::decodeFrontTab(tw::encodeBrowserTab(**decoded));
        const auto* back = std::get_if<std::optional<tw::BrowserTab>>(&again);
        if (!back || *back != *decoded) std::abort();
    }
    (void)tw::decodeBlankAnswer(bytes);
    return 0;
}
