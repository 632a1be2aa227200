// Feeds arbitrary bytes to the reader of the stored website credential. A credential that decodes
// must encode to a form that decodes to itself and encodes the same again; nothing may crash.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sync/CloudRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto credential = tw::Credential::decode(bytes);
    if (!credential) return 0;
    const QByteArray encoded = credential->encode();
    const auto back = tw::Credential::decode(encoded);
    // A version beyond 2^53 does not survive a JSON double; every real one does.
    if (credential->version > (qint64(1) << 53) || credential->version < -(qint64(1) << 53)) {
        return 0;
    }
    if (!back || *back != *credential || back->encode() != encoded) std::abort();
    return 0;
}
