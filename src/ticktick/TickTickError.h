#pragma once

#include <QString>

namespace tw {

// Why a TickTick operation failed; `message()` is the sentence the settings and the island show.
struct TickTickError {
    enum class Kind {
        http,         // TickTick answered with a status other than 2xx and 401
        credentials,  // a sign-in with the user's own developer client lacks its ID or secret
        token,        // the pasted token is not a token
        callback,     // a web sign-in's answer could not be verified
        cancelled,    // a web sign-in was cancelled
        keychain,     // the keyring could not be read or written
        expired,      // 401, or the stored account's expiry has passed
        response,     // an answer of the wrong shape
        network,      // the request failed on the way
        timeout,      // no data for 15 seconds, or 30 seconds in all
        aborted,      // the request was called off here (switched off, superseded)
    };

    Kind kind = Kind::network;
    int status = 0;  // for `http`

    static TickTickError of(Kind kind) { return TickTickError{kind, 0}; }
    static TickTickError http(int status) { return TickTickError{Kind::http, status}; }

    QString message() const;
    friend bool operator==(const TickTickError&, const TickTickError&) = default;
};

}  // namespace tw
