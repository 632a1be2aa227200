#pragma once

#include <QByteArray>
#include <optional>

#include "platform/CredentialStore.h"

namespace tw::test {

// A credential store in memory whose operations can be made to fail, as a locked keyring does.
class MemoryCredentialStore final : public CredentialStore {
public:
    CredentialRead read() override {
        ++reads;
        if (failRead) return CredentialFailure{QStringLiteral("locked")};
        return blob;
    }
    std::optional<CredentialFailure> write(const QByteArray& data) override {
        ++writes;
        if (failWrite) return CredentialFailure{QStringLiteral("locked")};
        blob = data;
        return std::nullopt;
    }
    std::optional<CredentialFailure> remove() override {
        ++removes;
        if (failRemove) return CredentialFailure{QStringLiteral("locked")};
        blob.reset();
        return std::nullopt;
    }

    std::optional<QByteArray> blob;
    bool failRead = false;
    bool failWrite = false;
    bool failRemove = false;
    int reads = 0;
    int writes = 0;
    int removes = 0;
};

}  // namespace tw::test
