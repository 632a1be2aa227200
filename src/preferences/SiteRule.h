#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

// One blocked-site rule: a host (lower case, at least two labels, no leading "www.") that covers
// itself and its subdomains, and an optional path (decoded, dot segments resolved, starting with
// "/" and without a trailing "/") that narrows it to one section of the site.
//
// Its stored form, the text kept in the preferences and listed in settings, is the host followed
// by the path percent-encoded with the characters a URL path may carry unescaped.
struct SiteRule {
    QString host;
    QString path;

    // Reads typed text ("Example.org", "https://www.example.org/shorts/") or a stored entry;
    // nothing for text that does not name an http(s) site without user, port, query or fragment.
    static std::optional<SiteRule> parse(const QString& text);

    QString storedForm() const;

    // Whether a tab at `address` falls under the rule: an http(s) address on the host or one of
    // its subdomains (the port does not count) whose decoded path is the rule's path or lies
    // below it. Letter case of the path counts.
    bool matches(const QString& address) const;

    friend bool operator==(const SiteRule&, const SiteRule&) = default;
};

// The stored list cleaned as it is loaded: entries that do not parse are dropped, the rest put in
// stored form, and later entries whose stored form was already seen are dropped.
QStringList cleanedBlockedSites(const QStringList& stored);

}  // namespace tw
