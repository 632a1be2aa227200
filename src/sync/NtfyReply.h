#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tw {

// What one publish request to an ntfy server came back with: the HTTP status with the reply's
// Retry-After seconds, or a failure on the way (no HTTP reply at all).
struct NtfyReply {
    std::optional<int> status;         // none: the request failed on the way
    std::optional<double> retryAfter;  // the Retry-After header as decimal seconds
    QString failure;                   // the network layer's description, without a status

    static NtfyReply http(int status, std::optional<double> retryAfter = std::nullopt) {
        return NtfyReply{status, retryAfter, {}};
    }
    static NtfyReply transportFailure(QString text) {
        return NtfyReply{std::nullopt, std::nullopt, std::move(text)};
    }
};

// A Retry-After header read as a decimal number of seconds ("10", "0.2"); none when it is missing,
// not a finite number, or an HTTP date.
std::optional<double> parseRetryAfter(const QByteArray& header);

}  // namespace tw
