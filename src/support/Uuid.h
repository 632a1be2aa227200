#pragma once

#include <QString>
#include <QUuid>
#include <optional>

namespace tw {

// UUIDs travel and are stored as upper-case canonical text with hyphens.
inline QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// Accepts the canonical 36-character form in either letter case, nothing else.
inline std::optional<QUuid> parseUuid(const QString& text) {
    if (text.size() != 36) return std::nullopt;
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000")) {
        return std::nullopt;
    }
    return id;
}

inline QUuid newUuid() {
    return QUuid::createUuid();
}

}  // namespace tw
