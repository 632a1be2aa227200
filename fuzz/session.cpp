// Arbitrary bytes as a saved session: decoding must never crash, and what decodes must encode
// to a form that decodes to the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "timer/SavedSession.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const auto decoded = tw::SavedSession::decode(bytes);
    if (!decoded) return 0;
    const auto again = tw::SavedSession::decode(decoded->encode());
    if (!again) std::abort();
    // Dates are doubles; NaN never decodes from JSON, so plain equality holds.
    if (!(*again == *decoded)) std::abort();
    return 0;
}
