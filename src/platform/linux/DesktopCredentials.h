#pragma once

#include <QString>
#include <memory>

#include "platform/CredentialStore.h"

namespace tw {

// Where this process keeps its credentials: in the desktop's keyring (the Secret Service), or in
// a file only this user can read where no keyring runs.
enum class CredentialBackend { secretService, file };

// The credential stores of one process. Before the first operation of any of its stores, a probe
// asks the bus once whether a keyring is there (SecretServiceKeyring::probe) and settles the
// backend for the life of the object.
//
// With the keyring, the file is only a place to move out of: a read that finds nothing in the
// keyring looks in the file, and what it finds there is written to the keyring and removed from
// the file before it is returned (when that write fails, so does the read); a write or a removal
// in the keyring also removes the service's copy from the file.
class DesktopCredentials {
public:
    struct Options {
        // The bus the keyring serves; the session bus when empty.
        QString busAddress;
        // The folder of the credentials file; "$XDG_DATA_HOME/tarnwhistle/credentials" when empty.
        QString folder;
        // The bound on each operation, connecting to the keyring included.
        int timeoutMs = 5000;
    };

    DesktopCredentials();
    explicit DesktopCredentials(Options options);
    ~DesktopCredentials();

    // The process's own, made with the default options on first use and kept until exit.
    static DesktopCredentials& shared();

    // Runs the probe if it has not run yet.
    CredentialBackend backend();
    // A store for one service name ("dev.tarnwhistle.cloud-history"). Stores may outlive this
    // object.
    std::unique_ptr<CredentialStore> store(const QString& service);

    struct State;  // the backend, shared with the stores

private:
    std::shared_ptr<State> state_;
};

// DesktopCredentials::shared().store(service).
std::unique_ptr<CredentialStore> makeCredentialStore(const QString& service);

}  // namespace tw
