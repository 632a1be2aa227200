// Feeds arbitrary bytes to the defaults-file reader; whatever decodes must survive a write and a
// second read unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/UserDefaults.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const auto decoded = tw::UserDefaults::decode(bytes);
    if (!decoded) return 0;
    const QByteArray again = tw::UserDefaults::encode(*decoded);
    const auto second = tw::UserDefaults::decode(again);
    if (!second) std::abort();
    if (tw::UserDefaults::encode(*second) != again) std::abort();
    return 0;
}
