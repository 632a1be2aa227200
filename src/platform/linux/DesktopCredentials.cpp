#include "platform/linux/DesktopCredentials.h"

#include <QElapsedTimer>

#include "platform/linux/FileCredentials.h"
#include "platform/linux/SecretServiceKeyring.h"
#include "support/Paths.h"

namespace tw {

namespace {

QString folderOf(const DesktopCredentials::Options& options) {
    if (!options.folder.isEmpty()) return options.folder;
    return paths::dataDir() + QStringLiteral("/credentials");
}

}  // namespace

struct DesktopCredentials::State {
    explicit State(const Options& options)
        : keyring(SecretServiceKeyring::Options{options.busAddress, options.timeoutMs}),
          file(folderOf(options)),
          timeoutMs(options.timeoutMs) {
        clock.start();
    }

    // The keyring's calls block the caller (the main thread). One that ran into the time limit
    // means a keyring that does not answer; for a while after, operations fail at once instead
    // of each waiting the whole limit again, so that a hung keyring costs one wait, not one per
    // operation (the launch reads two items, the quit may write).
    static constexpr qint64 kQuietMs = 60000;

    bool answering() const { return clock.elapsed() >= quietUntil; }
    template <typename Call>
    auto timed(Call call) {
        const qint64 started = clock.elapsed();
        auto result = call();
        if (clock.elapsed() - started >= timeoutMs) quietUntil = clock.elapsed() + kQuietMs;
        return result;
    }
    static CredentialFailure silent() {
        return CredentialFailure{
            QStringLiteral("The keyring gave no answer a moment ago; it is not asked again yet.")};
    }

    CredentialBackend backend() {
        if (!chosen) {
            chosen = timed([this] { return keyring.probe(); }) ? CredentialBackend::secretService
                                                               : CredentialBackend::file;
        }
        return *chosen;
    }

    CredentialRead read(const QString& service) {
        if (backend() == CredentialBackend::file) return file.read(service);
        if (!answering()) return silent();
        CredentialRead found = timed([&] { return keyring.read(service); });
        const auto* none = std::get_if<std::optional<QByteArray>>(&found);
        if (none == nullptr || none->has_value()) return found;
        // Nothing in the keyring: move a copy left in the file over.
        CredentialRead old = file.read(service);
        const auto* kept = std::get_if<std::optional<QByteArray>>(&old);
        if (kept == nullptr || !kept->has_value()) return old;
        if (auto f = write(service, **kept)) return *f;
        return old;
    }

    std::optional<CredentialFailure> write(const QString& service, const QByteArray& data) {
        if (backend() == CredentialBackend::file) return file.write(service, data);
        if (!answering()) return silent();
        if (auto f = timed([&] { return keyring.write(service, data); })) return f;
        file.remove(service);
        return std::nullopt;
    }

    std::optional<CredentialFailure> remove(const QString& service) {
        if (backend() == CredentialBackend::file) return file.remove(service);
        if (!answering()) return silent();
        if (auto f = timed([&] { return keyring.remove(service); })) return f;
        file.remove(service);
        return std::nullopt;
    }

    SecretServiceKeyring keyring;
    FileCredentials file;
    std::optional<CredentialBackend> chosen;
    qint64 timeoutMs;
    QElapsedTimer clock;
    qint64 quietUntil = 0;
};

namespace {

class DesktopCredentialStore final : public CredentialStore {
public:
    DesktopCredentialStore(std::shared_ptr<DesktopCredentials::State> state, QString service)
        : state_(std::move(state)), service_(std::move(service)) {}

    CredentialRead read() override { return state_->read(service_); }
    std::optional<CredentialFailure> write(const QByteArray& data) override {
        return state_->write(service_, data);
    }
    std::optional<CredentialFailure> remove() override { return state_->remove(service_); }

private:
    std::shared_ptr<DesktopCredentials::State> state_;
    QString service_;
};

}  // namespace

DesktopCredentials::DesktopCredentials() : DesktopCredentials(Options()) {}

DesktopCredentials::DesktopCredentials(Options options)
    : state_(std::make_shared<State>(options)) {}

DesktopCredentials::~DesktopCredentials() = default;

DesktopCredentials& DesktopCredentials::shared() {
    // Never destroyed: stores handed out may be used until the very end of the process, and the
    // keyring's connection needs no goodbye.
    static DesktopCredentials* credentials = new DesktopCredentials();
    return *credentials;
}

CredentialBackend DesktopCredentials::backend() {
    return state_->backend();
}

std::unique_ptr<CredentialStore> DesktopCredentials::store(const QString& service) {
    return std::make_unique<DesktopCredentialStore>(state_, service);
}

std::unique_ptr<CredentialStore> makeCredentialStore(const QString& service) {
    return DesktopCredentials::shared().store(service);
}

}  // namespace tw
