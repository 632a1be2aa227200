#include "preferences/AddSiteResult.h"

namespace tw {

std::optional<QString> blockedSiteMessage(const AddSiteResult& result) {
    switch (result.kind) {
        case AddSiteResult::Kind::added:
            return std::nullopt;
        case AddSiteResult::Kind::duplicate:
            return QStringLiteral("That site is already in the list.");
        case AddSiteResult::Kind::invalid:
            return QStringLiteral(
                "Enter a domain or path, such as example.com or youtube.com/shorts.");
        case AddSiteResult::Kind::limit:
            return QStringLiteral("The limit is %1 blocked sites. Remove one to add another.")
                .arg(result.limitCount);
    }
    return std::nullopt;
}

std::optional<QString> hiddenAppMessage(const AddSiteResult& result, const QString& name) {
    switch (result.kind) {
        case AddSiteResult::Kind::added:
            return std::nullopt;
        case AddSiteResult::Kind::duplicate:
            return name + QStringLiteral(" is already in the list.");
        case AddSiteResult::Kind::invalid:
            return QStringLiteral("That doesn't look like an app.");
        case AddSiteResult::Kind::limit:
            return QStringLiteral("The limit is %1 hidden apps. Remove one to add another.")
                .arg(result.limitCount);
    }
    return std::nullopt;
}

}  // namespace tw
