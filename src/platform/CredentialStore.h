#pragma once

// One secret blob per service (a sign-in token as JSON), kept outside the preferences: in the
// desktop's keyring, or where none runs, in a file only this user can read. Operations are
// synchronous, run on the main thread and never show a prompt: a locked keyring fails instead.

#include <QByteArray>
#include <QString>
#include <optional>
#include <variant>

namespace tw {

// Why the keyring could not be used. Callers show their own sentence ("Unlock your keyring");
// `detail` is for the log.
struct CredentialFailure {
    QString detail;
};

// The stored blob, none when nothing is stored, or the failure.
using CredentialRead = std::variant<std::optional<QByteArray>, CredentialFailure>;

class CredentialStore {
public:
    virtual ~CredentialStore() = default;

    virtual CredentialRead read() = 0;
    // Stores or replaces the blob; none on success.
    virtual std::optional<CredentialFailure> write(const QByteArray& data) = 0;
    // Removes the blob; removing a missing blob succeeds.
    virtual std::optional<CredentialFailure> remove() = 0;
};

}  // namespace tw
