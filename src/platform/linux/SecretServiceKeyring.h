#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

#include "platform/CredentialStore.h"

namespace tw {

// Credentials as items of the desktop's Secret Service (GNOME Keyring, KWallet, KeePassXC), one
// item per service name with the attributes service = the name and account = "oauth", kept in
// the keyring's default collection, through libsecret.
//
// Nothing here ever shows a prompt: every operation first checks that the default collection is
// unlocked and fails when it is not, and a step that would still need the keyring to ask the user
// (an item in another, locked collection) fails instead of asking. Every operation, connecting
// included, ends within `timeoutMs`; a keyring that does not answer fails it.
class SecretServiceKeyring {
public:
    struct Options {
        // The bus the keyring serves; the session bus when empty.
        QString busAddress;
        int timeoutMs = 5000;
    };

    static constexpr const char* kProbeService = "dev.tarnwhistle.keychain-probe";

    explicit SecretServiceKeyring(Options options);
    ~SecretServiceKeyring();
    SecretServiceKeyring(const SecretServiceKeyring&) = delete;
    SecretServiceKeyring& operator=(const SecretServiceKeyring&) = delete;

    // Whether a keyring is there to keep credentials in: false when no Secret Service runs on the
    // bus and none can be started, when there is no bus, or when the service has no default
    // collection (so that storing would mean asking the user to create one). When the default
    // collection is unlocked, an item with service "dev.tarnwhistle.keychain-probe" and account
    // "probe" is added and removed again; a locked collection still counts as there.
    bool probe();

    CredentialRead read(const QString& service);
    std::optional<CredentialFailure> write(const QString& service, const QByteArray& data);
    // Removes every matching item; removing what is not there succeeds.
    std::optional<CredentialFailure> remove(const QString& service);

    struct Impl;  // the connection, shared with the steps of an operation

private:
    std::unique_ptr<Impl> d_;
};

}  // namespace tw
