#pragma once

#include <QByteArray>
#include <optional>

#include "platform/CredentialStore.h"

namespace tw {

// A credential store in memory, kept in a record the test owns (so it can be looked at after the
// store was handed over), that can be told to fail each operation.
class FakeCredentialStore final : public CredentialStore {
public:
    struct Keyring {
        std::optional<QByteArray> blob;
        bool failReads = false;
        bool failWrites = false;
        bool failRemoves = false;
        int reads = 0;
        int writes = 0;
        int removes = 0;
    };

    explicit FakeCredentialStore(Keyring* keyring) : keyring_(keyring) {}

    CredentialRead read() override {
        ++keyring_->reads;
        if (keyring_->failReads) return failure();
        return keyring_->blob;
    }
    std::optional<CredentialFailure> write(const QByteArray& data) override {
        ++keyring_->writes;
        if (keyring_->failWrites) return failure();
        keyring_->blob = data;
        return std::nullopt;
    }
    std::optional<CredentialFailure> remove() override {
        ++keyring_->removes;
        if (keyring_->failRemoves) return failure();
        keyring_->blob.reset();
        return std::nullopt;
    }

private:
    static CredentialFailure failure() {
        return CredentialFailure{QStringLiteral("The keyring is locked")};
    }

    Keyring* keyring_;
};

}  // namespace tw
