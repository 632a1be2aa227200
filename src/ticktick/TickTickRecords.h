#pragma once

// The records the TickTick client keeps and reads: the stored account, the projects and tasks of
// the open API's replies, and the decoders of those replies. A reply must have the expected JSON
// shape; unknown keys are ignored; a missing required key or a wrong type rejects the whole reply.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "support/Instant.h"

namespace tw {

// A task of a TickTick project; the one attached to focus is one of these.
struct TickTickTask {
    QString id;
    QString projectID;
    QString title;
    friend bool operator==(const TickTickTask&, const TickTickTask&) = default;
};

struct TickTickProject {
    QString id;
    QString name;
    friend bool operator==(const TickTickProject&, const TickTickProject&) = default;
};

// What the keyring holds for TickTick, as a JSON object. A pasted token has only `accessToken`;
// every key is optional when read back, and absent values are left out when written.
struct TickTickAccount {
    std::optional<QString> clientID;
    std::optional<QString> clientSecret;
    std::optional<QString> accessToken;
    std::optional<Instant> expiresAt;  // seconds since 2001-01-01 UTC; none: no known expiry

    QByteArray encode() const;
    static std::optional<TickTickAccount> decode(const QByteArray& bytes);
    friend bool operator==(const TickTickAccount&, const TickTickAccount&) = default;
};

namespace ticktickreply {

// GET project: an array of {"id", "name"}.
std::optional<std::vector<TickTickProject>> projects(const QByteArray& body);
// GET project/<id>/data: {"tasks": [{"id", "projectId", "title", "status"}]}; the open tasks
// (status 0) in the order received.
std::optional<std::vector<TickTickTask>> openTasks(const QByteArray& body);

}  // namespace ticktickreply

}  // namespace tw
