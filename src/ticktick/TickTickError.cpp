#include "ticktick/TickTickError.h"

namespace tw {

QString TickTickError::message() const {
    switch (kind) {
        case Kind::http:
            if (status == 403) {
                return QStringLiteral(
                    "TickTick denied access. Check your app permissions and connect again.");
            }
            if (status == 429) {
                return QStringLiteral(
                    "TickTick is receiving too many requests. Wait before trying again.");
            }
            if (status >= 500) return QStringLiteral("TickTick is unavailable. Try again later.");
            return QStringLiteral(
                "TickTick could not complete the request. Check your settings and try again.");
        case Kind::credentials:
            return QStringLiteral("Enter your own TickTick developer client ID and client secret.");
        case Kind::token:
            return QStringLiteral("Paste a valid TickTick API token.");
        case Kind::callback:
            return QStringLiteral("TickTick sign-in could not be verified. Try connecting again.");
        case Kind::cancelled:
        case Kind::aborted:
            return QStringLiteral("TickTick sign-in was cancelled.");
        case Kind::keychain:
            return QStringLiteral(
                "Could not access TickTick credentials in the keyring. Unlock your keyring and try "
                "again.");
        case Kind::expired:
            return QStringLiteral("TickTick access expired or was revoked. Connect again.");
        case Kind::response:
            return QStringLiteral("TickTick returned an unexpected response. Try again later.");
        case Kind::network:
            return QStringLiteral(
                "Could not reach TickTick. Check your internet connection and try again.");
        case Kind::timeout:
            return QStringLiteral("TickTick took too long to respond. Try again later.");
    }
    return {};
}

}  // namespace tw
