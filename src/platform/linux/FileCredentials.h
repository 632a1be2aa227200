#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <optional>
#include <variant>

#include "platform/CredentialStore.h"

namespace tw {

// Credentials kept in a file where no keyring runs: "credentials.json" (see CredentialFile.h) in
// a folder that only this user may enter (0700), the file itself readable by the user only
// (0600) and replaced in one step at every change. The folder is refused when it is not a real
// folder of this user; wider modes found on it or on the file are narrowed.
//
// A file that does not decode is kept aside as "credentials.json.corrupt-<timestamp>" (0600, in
// the same folder) and whatever could be salvaged from it is written back; nothing is dropped
// without a copy.
class FileCredentials {
public:
    explicit FileCredentials(QString folder);

    const QString& folder() const { return folder_; }
    QString filePath() const;

    CredentialRead read(const QString& service);
    std::optional<CredentialFailure> write(const QString& service, const QByteArray& data);
    // Removing what is not there succeeds. The file goes when its last item does.
    std::optional<CredentialFailure> remove(const QString& service);

private:
    using Items = QMap<QString, QByteArray>;
    // Makes the folder safe to use, creating it when `create` is set. Reports whether it exists.
    std::variant<bool, CredentialFailure> secureFolder(bool create);
    std::variant<Items, CredentialFailure> load();
    std::optional<CredentialFailure> save(const Items& items);

    QString folder_;
};

}  // namespace tw
