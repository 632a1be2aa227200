// Feeds arbitrary text to the blocked-site parser and matcher. Whatever parses must read back
// from its stored form as the same rule, and matching must cope with any address.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "preferences/SiteRule.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first line is the rule text, the rest an address to match against.
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype newline = text.indexOf(u'\n');
    const QString ruleText = newline < 0 ? text : text.left(newline);
    const QString address = newline < 0 ? text : text.mid(newline + 1);

    const auto rule = tw::SiteRule::parse(ruleText);
    if (rule) {
        const QString stored = rule->storedForm();
        const auto again = tw::SiteRule::parse(stored);
        if (!again || *again != *rule) std::abort();
        if (again->storedForm() != stored) std::abort();
        (void)rule->matches(address);
        // A rule always covers its own site.
        if (!rule->matches(QStringLiteral("https://") + stored)) std::abort();
    }
    const tw::SiteRule fixed{QStringLiteral("example.org"), QStringLiteral("/shorts")};
    (void)fixed.matches(address);
    (void)fixed.matches(text);
    return 0;
}
