#include <gtest/gtest.h>

#include <QCborArray>
#include <QStringList>
#include <ostream>

#include "platform/UserDefaults.h"
#include "preferences/AddSiteResult.h"
#include "preferences/AppPreferences.h"
#include "preferences/SiteRule.h"

using tw::AddSiteResult;
using tw::SiteRule;

// Readable failure output.
static void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
namespace tw {
static void PrintTo(const SiteRule& r, std::ostream* os) {
    *os << "SiteRule{" << r.host.toStdString() << ", " << r.path.toStdString() << "}";
}
}  // namespace tw

namespace {

struct ParseCase {
    const char* typed;
    const char* stored;  // nullptr: refused
};

// Typed text (or stored entries) and the stored form they give.
const ParseCase kParseCases[] = {
    {"  Example.ORG \t\n", "example.org"},
    {"https://www.example.org/", "example.org"},
    {"HTTP://WWW.Example.org/Path/", "example.org/Path"},
    {"example.org/a/../b/", "example.org/b"},
    {"example.org/café", "example.org/caf%C3%A9"},
    {"example.org/caf%C3%A9", "example.org/caf%C3%A9"},
    {"example.org/caf%c3%a9", "example.org/caf%C3%A9"},
    {"192.168.1.20", "192.168.1.20"},
    {"127.1", "127.0.0.1"},  // numeric hosts read as a browser reads them
    {"www.1.2.3", "1.2.0.3"},
    {"video.example.org/shorts", "video.example.org/shorts"},
    {"example.org/a%20b/~x;y=1:@!$&'()*+,", "example.org/a%20b/~x;y=1:@!$&'()*+,"},
    {"example.org/%7e/[x]{y}", "example.org/~/%5Bx%5D%7By%7D"},
    {"example.org/%2E%2E/x/%2e/y", "example.org/x/y"},
    {"example.org/a%2F..%2Fb", "example.org/b"},  // encoded slashes count as slashes
    {"example.org/100%", "example.org/100%25"},
    {"example.org///", "example.org"},
    {"example.org/..", "example.org"},
    {"example.org/a//b", "example.org/a//b"},
    {"example.org/a:%2F%2Fb", "example.org/a://b"},  // reads back: "://" only counts up front
    {"example.org/a://b", "example.org/a://b"},
    // Noncharacters settle on the replacement characters their escapes read back as.
    {"example.org/a\U000FFFFF", "example.org/a%EF%BF%BD%EF%BF%BD%EF%BF%BD%EF%BF%BD"},
    {"example.org/a\uFDD0b", "example.org/a%EF%BF%BD%EF%BF%BD%EF%BF%BDb"},
    {"example.org/a%EF%B7%90", "example.org/a%EF%BF%BD%EF%BF%BD%EF%BF%BD"},
    {"xn--exmple-cua.org", "xn--exmple-cua.org"},
    {"a-b.c-d.org", "a-b.c-d.org"},
    {"www.www.example.org", "example.org"},  // stays the same rule when read back
    {"www.org", nullptr},                    // only a top-level label would remain
    {"example .org", nullptr},
    {"example.org/a b", nullptr},
    {"example.org/a\u00a0b", nullptr},
    {"example.org:8080", nullptr},
    {"example.org:", nullptr},
    {"user@example.org", nullptr},
    {"@example.org", nullptr},
    {"user:pw@example.org", nullptr},
    {"example.org\\@evil.com", nullptr},
    {"example.org/x?y=1", nullptr},
    {"example.org/x?", nullptr},
    {"example.org/#top", nullptr},
    {"example.org#", nullptr},
    {"ftp://example.org", nullptr},
    {"javascript://example.org", nullptr},
    {"*.example.org", nullptr},
    {"localhost", nullptr},
    {"exa_mple.org", nullptr},
    {"-example.org", nullptr},
    {"example-.org", nullptr},
    {"example..org", nullptr},
    {"example.org.", nullptr},
    {".example.org", nullptr},
    {"exämple.org", nullptr},
    {"exam\u00adple.org", nullptr},  // a soft hyphen that name preparation would drop
    {"example.or\u212a", nullptr},   // the Kelvin sign lower-cases to "k"
    {"ex%61mple.org", nullptr},
    {"[::1]", nullptr},
    {"https://", nullptr},
    {"https:///path", nullptr},
    {"", nullptr},
    {" \n ", nullptr},
};

TEST(SiteRule, ParsesTypedTextIntoItsStoredForm) {
    for (const ParseCase& c : kParseCases) {
        const QString typed = QString::fromUtf8(c.typed);
        const auto rule = SiteRule::parse(typed);
        if (c.stored == nullptr) {
            EXPECT_FALSE(rule) << c.typed << " gave " << qPrintable(rule->storedForm());
            continue;
        }
        ASSERT_TRUE(rule) << c.typed;
        EXPECT_EQ(rule->storedForm(), QString::fromUtf8(c.stored)) << c.typed;
        // A stored entry reads back as the same rule.
        EXPECT_EQ(SiteRule::parse(rule->storedForm()), rule) << c.typed;
    }
}

TEST(SiteRule, KeepsTheDecodedPathAndBareHost) {
    const auto rule = SiteRule::parse(QStringLiteral("https://WWW.Example.org/caf%C3%A9/Menu/"));
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->host, QStringLiteral("example.org"));
    EXPECT_EQ(rule->path, QString::fromUtf8("/café/Menu"));
}

struct MatchCase {
    const char* rule;
    const char* address;
    bool matches;
};

const MatchCase kMatchCases[] = {
    {"example.org", "https://example.org/", true},
    {"example.org", "https://example.org", true},
    {"example.org", "https://video.example.org/watch?v=1", true},
    {"example.org", "https://example.org:8443/x", true},
    {"example.org", "http://WWW.EXAMPLE.ORG/", true},
    {"example.org", "https://example.org./", true},
    {"example.org", "https://notexample.org/", false},
    {"example.org", "https://example.org.other.net/", false},
    {"example.org", "about:blank", false},
    {"example.org", "chrome://settings", false},
    {"example.org", "ftp://example.org/", false},
    {"example.org", "file:///home/example.org", false},
    {"example.org", "", false},
    {"example.org", "not a url at all", false},
    {"example.org/shorts", "https://example.org/shorts", true},
    {"example.org/shorts", "https://example.org/shorts/abc", true},
    {"example.org/shorts", "https://example.org/shorts/", true},
    {"example.org/shorts", "https://example.org/shorts?feature=share", true},
    {"example.org/shorts", "https://www.example.org/shorts#top", true},
    {"example.org/shorts", "https://example.org/x/../shorts/abc", true},
    {"example.org/shorts", "https://example.org/%73horts", true},
    {"example.org/shorts", "https://example.org/shortsabc", false},
    {"example.org/shorts", "https://example.org/Shorts", false},
    {"example.org/shorts", "https://example.org/", false},
    {"example.org/shorts", "https://example.org", false},
    {"example.org/shorts", "https://other.org/shorts", false},
    {"example.org/caf%C3%A9", "https://example.org/caf%C3%A9", true},
    {"example.org/caf%C3%A9", "https://example.org/caf%c3%a9/menu", true},
    {"example.org/caf%C3%A9", "https://example.org/cafe", false},
    {"192.168.1.20", "http://192.168.1.20:8080/admin", true},
    {"127.1", "http://127.0.0.1/", true},
};

TEST(SiteRule, MatchesTabAddresses) {
    for (const MatchCase& c : kMatchCases) {
        const auto rule = SiteRule::parse(QString::fromUtf8(c.rule));
        ASSERT_TRUE(rule) << c.rule;
        EXPECT_EQ(rule->matches(QString::fromUtf8(c.address)), c.matches)
            << c.rule << " against " << c.address;
    }
}

TEST(SiteRule, TabPathWithUnicodeMatchesTheEncodedRule) {
    const auto rule = SiteRule::parse(QStringLiteral("example.org/caf%C3%A9"));
    ASSERT_TRUE(rule);
    EXPECT_TRUE(rule->matches(QString::fromUtf8("https://example.org/café")));
}

TEST(SiteRule, CleaningKeepsStoredFormsInOrderWithoutRepeats) {
    const QStringList stored = {
        QStringLiteral("WWW.Example.ORG/"),  QStringLiteral("not a site"),
        QStringLiteral("example.org"),       QStringLiteral("example.org/shorts/"),
        QStringLiteral("localhost"),         QStringLiteral("news.example.net"),
        QStringLiteral("example.org/shorts")};
    EXPECT_EQ(tw::cleanedBlockedSites(stored),
              (QStringList{QStringLiteral("example.org"), QStringLiteral("example.org/shorts"),
                           QStringLiteral("news.example.net")}));
}

class BlockedSites : public ::testing::Test {
protected:
    tw::UserDefaults defaults;
    tw::AppPreferences prefs{defaults};

    QStringList written() const {
        return defaults.stringArray(QStringLiteral("blockedSites")).value_or(QStringList{});
    }
};

TEST_F(BlockedSites, AddWritesTheStoredForm) {
    QList<QStringList> published;
    QObject::connect(&prefs, &tw::AppPreferences::blockedSitesChanged,
                     [&](const QStringList& v) { published.append(v); });
    EXPECT_EQ(prefs.addBlockedSite(QStringLiteral(" HTTPS://www.Example.org/ ")),
              AddSiteResult::added());
    EXPECT_EQ(prefs.blockedSites(), QStringList{QStringLiteral("example.org")});
    EXPECT_EQ(written(), QStringList{QStringLiteral("example.org")});
    EXPECT_EQ(published, QList<QStringList>{QStringList{QStringLiteral("example.org")}});
}

TEST_F(BlockedSites, DuplicateAndInvalidComeBeforeTheLimit) {
    ASSERT_EQ(prefs.addBlockedSite(QStringLiteral("example.org")), AddSiteResult::added());
    EXPECT_EQ(prefs.addBlockedSite(QStringLiteral("www.example.org")), AddSiteResult::duplicate());
    EXPECT_EQ(prefs.addBlockedSite(QStringLiteral("EXAMPLE.org/")), AddSiteResult::duplicate());
    EXPECT_EQ(prefs.addBlockedSite(QStringLiteral("example.org/shorts")), AddSiteResult::added());
    for (int i = 2; i < tw::blockedSiteLimit; ++i) {
        ASSERT_EQ(prefs.addBlockedSite(QStringLiteral("site%1.example.net").arg(i)),
                  AddSiteResult::added());
    }
    const QStringList full = prefs.blockedSites();
    ASSERT_EQ(full.size(), 10);
    EXPECT_EQ(prefs.addBlockedSite(QStringLiteral("another.org")), AddSiteResult::limit(10));
    EXPECT_EQ(prefs.addBlockedSite(QStringLiteral("www.example.org")), AddSiteResult::duplicate());
    EXPECT_EQ(prefs.addBlockedSite(QStringLiteral("localhost")), AddSiteResult::invalid());
    EXPECT_EQ(prefs.blockedSites(), full);
    EXPECT_EQ(written(), full);
}

TEST_F(BlockedSites, RemoveDropsExactMatchesOnly) {
    prefs.addBlockedSite(QStringLiteral("example.org"));
    prefs.addBlockedSite(QStringLiteral("example.org/shorts"));
    prefs.addBlockedSite(QStringLiteral("news.example.net"));
    prefs.removeBlockedSite(QStringLiteral("EXAMPLE.org"));
    EXPECT_EQ(prefs.blockedSites().size(), 3);
    prefs.removeBlockedSite(QStringLiteral("example.org"));
    const QStringList rest = {QStringLiteral("example.org/shorts"),
                              QStringLiteral("news.example.net")};
    EXPECT_EQ(prefs.blockedSites(), rest);
    EXPECT_EQ(written(), rest);
}

TEST(BlockedSitesLoading, CleansWithoutWritingBackAndKeepsALongList) {
    tw::UserDefaults defaults;
    QStringList stored = {QStringLiteral("WWW.EXAMPLE.ORG/"), QStringLiteral("exa_mple.org"),
                          QStringLiteral("example.org")};
    for (int i = 0; i < 11; ++i) stored.append(QStringLiteral("s%1.example.net").arg(i));
    defaults.setStringArray(QStringLiteral("blockedSites"), stored);

    tw::AppPreferences prefs(defaults);
    ASSERT_EQ(prefs.blockedSites().size(), 12);
    EXPECT_EQ(prefs.blockedSites().front(), QStringLiteral("example.org"));
    EXPECT_EQ(defaults.stringArray(QStringLiteral("blockedSites")), stored);
    // Over the limit already: adding is refused, the stored list stays whole.
    EXPECT_EQ(prefs.addBlockedSite(QStringLiteral("new.org")), AddSiteResult::limit(10));
    EXPECT_EQ(prefs.blockedSites().size(), 12);
}

TEST(BlockedSitesLoading, NonStringEntriesGiveAnEmptyList) {
    tw::UserDefaults defaults;
    defaults.setObject(QStringLiteral("blockedSites"),
                       QCborArray{QStringLiteral("example.org"), 3});
    tw::AppPreferences prefs(defaults);
    EXPECT_TRUE(prefs.blockedSites().isEmpty());
}

TEST(AddSiteResultMessages, TellTheUserWhatHappened) {
    EXPECT_FALSE(tw::blockedSiteMessage(AddSiteResult::added()));
    EXPECT_EQ(tw::blockedSiteMessage(AddSiteResult::duplicate()),
              QStringLiteral("That site is already in the list."));
    EXPECT_TRUE(tw::blockedSiteMessage(AddSiteResult::invalid())
                    ->startsWith("Enter a domain or path, such as "));
    EXPECT_TRUE(tw::blockedSiteMessage(AddSiteResult::limit(10))
                    ->endsWith("10 blocked sites. Remove one to add another."));
    EXPECT_FALSE(tw::hiddenAppMessage(AddSiteResult::added(), QStringLiteral("Files")));
    EXPECT_EQ(tw::hiddenAppMessage(AddSiteResult::duplicate(), QStringLiteral("Files")),
              QStringLiteral("Files is already in the list."));
    EXPECT_EQ(tw::hiddenAppMessage(AddSiteResult::invalid(), QStringLiteral("x")),
              QStringLiteral("That doesn't look like an app."));
    EXPECT_TRUE(tw::hiddenAppMessage(AddSiteResult::limit(5), QStringLiteral("x"))
                    ->endsWith("5 hidden apps. Remove one to add another."));
}

}  // namespace
