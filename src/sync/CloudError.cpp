#include "sync/CloudError.h"

namespace tw {

QString CloudError::description() const {
    switch (kind) {
        case Kind::http:
            if (failure.message) return *failure.message;
            return QStringLiteral("The Tarnwhistle website is temporarily unavailable.");
        case Kind::notConfigured:
            return QStringLiteral(
                "Website history will be available after cloud services are configured.");
        case Kind::notConnected:
            return QStringLiteral("This computer is not connected to the website.");
        case Kind::unreachable:
            return QStringLiteral("Could not reach the Tarnwhistle website.");
        case Kind::unauthorized:
            return QStringLiteral(
                "This computer's connection expired or was revoked. Disconnect and connect it "
                "again.");
        case Kind::insecureLink:
            return QStringLiteral("The website returned an address that is not secure.");
        case Kind::transport:
            return transportText;
    }
    return {};
}

}  // namespace tw
