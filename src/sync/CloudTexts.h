#pragma once

#include <QString>

// The sentences the website client shows under the sync switch.
namespace tw::cloudtexts {

inline QString connectPrompt() {
    return QStringLiteral("Connect your computer to view history on the website.");
}
inline QString unreadableKeyring() {
    return QStringLiteral(
        "Could not read sync credentials from the keyring. Unlock your keyring and reconnect.");
}
inline QString unwritableKeyring() {
    return QStringLiteral(
        "Could not save sync credentials in the keyring. Unlock your keyring and try again.");
}
inline QString connectedAtStart() {
    return QStringLiteral("Connected. History syncs automatically.");
}
inline QString stillWorking() {
    return QStringLiteral("Still working on the last request. Try again in a moment.");
}
inline QString newIdentity() {
    return QStringLiteral("This computer got a new sync identity. Connecting…");
}
inline QString preparingHistory() {
    return QStringLiteral("Connected. Preparing your history…");
}
inline QString syncStopped() {
    return QStringLiteral("Sync stopped on this computer. Synced history is kept.");
}
inline QString syncOffKeyringKept() {
    return QStringLiteral(
        "Sync is off. Could not remove the old keyring credential; revoke this computer on the "
        "website.");
}
inline QString revoked() {
    return QStringLiteral(
        "This computer's connection expired or was revoked. Turn sync on again to reconnect.");
}
inline QString unreadableReply() {
    return QStringLiteral("The website sent an answer this computer could not read.");
}
inline QString noBrowser() {
    return QStringLiteral("Could not open the website in your browser.");
}
inline QString timedOut() {
    return QStringLiteral("The request timed out.");
}
inline QString firstDayPrompt() {
    return QStringLiteral("Connected. Start a focus session to sync your first day.");
}
// Follows the failure's own description.
inline QString historyKept() {
    return QStringLiteral(" History stays on this computer and retries in a moment.");
}
inline QString scanPairingCode() {
    return QStringLiteral("Scan the code on your phone, or type it in.");
}
inline QString deviceNotRemovable() {
    return QStringLiteral("This device cannot be removed from here; remove it on the website.");
}

}  // namespace tw::cloudtexts
