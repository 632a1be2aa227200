#pragma once

#include <QString>
#include <optional>

namespace tw {

// Outcome of adding an entry to one of the user's capped lists (blocked sites, hidden apps).
struct AddSiteResult {
    enum class Kind { added, duplicate, invalid, limit };

    Kind kind = Kind::invalid;
    int limitCount = 0;  // the limit that was hit, for Kind::limit only

    static constexpr AddSiteResult added() { return {Kind::added, 0}; }
    static constexpr AddSiteResult duplicate() { return {Kind::duplicate, 0}; }
    static constexpr AddSiteResult invalid() { return {Kind::invalid, 0}; }
    static constexpr AddSiteResult limit(int n) { return {Kind::limit, n}; }

    friend constexpr bool operator==(const AddSiteResult&, const AddSiteResult&) = default;
};

inline constexpr int blockedSiteLimit = 10;
inline constexpr int hiddenAppLimit = 5;

// What the website-blocking pane shows for the outcome of adding a site; nothing for `added`.
std::optional<QString> blockedSiteMessage(const AddSiteResult& result);
// What the focus pane shows for the outcome of adding the application named `name`; nothing
// for `added`.
std::optional<QString> hiddenAppMessage(const AddSiteResult& result, const QString& name);

}  // namespace tw
