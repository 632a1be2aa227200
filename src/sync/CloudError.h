#pragma once

#include <QString>
#include <optional>

namespace tw {

// Why a request to the Tarnwhistle website failed. `description()` is the sentence the settings
// show.
struct CloudError {
    enum class Kind {
        http,           // the website answered with a status other than 2xx and 401
        notConfigured,  // no website address is configured in this build
        notConnected,   // no stored credential
        unreachable,    // the answer was not HTTP
        unauthorized,   // 401: the credential expired or was revoked
        insecureLink,   // the website gave an address that is not https on its own host
        transport,      // the request failed on the way (no network, time-out, TLS)
    };

    // What the website said along with a failing status.
    struct ServerFailure {
        std::optional<QString> message;    // "error" of the reply body
        std::optional<QString> code;       // "code" of the reply body
        std::optional<double> retryAfter;  // the Retry-After header, in seconds
    };

    Kind kind = Kind::unreachable;
    int status = 0;         // for `http`
    ServerFailure failure;  // for `http`
    QString transportText;  // for `transport`: the network layer's own description

    static CloudError http(int status, ServerFailure failure) {
        return CloudError{Kind::http, status, std::move(failure), {}};
    }
    static CloudError of(Kind kind) { return CloudError{kind, 0, {}, {}}; }
    static CloudError transportFailure(QString text) {
        return CloudError{Kind::transport, 0, {}, std::move(text)};
    }

    QString description() const;
};

}  // namespace tw
