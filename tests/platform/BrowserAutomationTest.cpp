#include <gtest/gtest.h>

#include "platform/BrowserAutomation.h"
#include "platform/RunningApplications.h"

namespace tw::test {
namespace {

TEST(BrowserAutomationTest, BrowsersAreKnownByEntryClassOrExecutable) {
    struct Case {
        RunningApplication app;
        std::optional<FocusBrowser> browser;
    };
    const Case cases[] = {
        {{"firefox-esr", "", 0, ""}, FocusBrowser::firefox},
        {{"", "firefox-esr", 0, ""}, FocusBrowser::firefox},
        {{"", "", 0, "/usr/lib/firefox-esr/firefox-esr"}, FocusBrowser::firefox},
        {{"google-chrome", "Google-chrome", 0, ""}, FocusBrowser::chrome},
        {{"", "", 0, "/opt/google/chrome/chrome"}, FocusBrowser::chrome},
        {{"chromium", "Chromium", 0, "/usr/lib/chromium/chromium"}, FocusBrowser::chromium},
        {{"brave-browser", "", 0, ""}, FocusBrowser::brave},
        {{"", "", 0, "/opt/microsoft/msedge/msedge"}, FocusBrowser::edge},
        {{"org.gnome.Epiphany", "Epiphany", 0, "/usr/bin/epiphany"}, std::nullopt},
        {{"org.gnome.TextEditor", "", 0, ""}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(focusBrowserOf(c.app), c.browser)
            << c.app.desktopId.toStdString() << c.app.executable.toStdString();
    }
    for (FocusBrowser b : kAllFocusBrowsers) {
        EXPECT_EQ(focusBrowserFromRaw(rawValue(b)), b);
    }
    EXPECT_EQ(displayName(FocusBrowser::firefox), QStringLiteral("Firefox"));
}

TEST(BrowserAutomationTest, AnswersDecodeOnlyWhenTheyHaveTheirShape) {
    const BrowserTab tab{"3", "41", "https://example.org/a?b"};
    const auto round = decodeFrontTab(encodeBrowserTab(tab));
    ASSERT_TRUE(std::holds_alternative<std::optional<BrowserTab>>(round));
    EXPECT_EQ(std::get<std::optional<BrowserTab>>(round), tab);

    const auto none = decodeFrontTab("null");
    ASSERT_TRUE(std::holds_alternative<std::optional<BrowserTab>>(none));
    EXPECT_FALSE(std::get<std::optional<BrowserTab>>(none).has_value());

    for (const char* bad : {"", "{", "true", "[]", R"({"window":"1","tab":2,"url":"x"})",
                            R"({"window":"1","url":"x"})", "null null"}) {
        EXPECT_TRUE(std::holds_alternative<QString>(decodeFrontTab(bad))) << bad;
    }

    struct Blank {
        const char* json;
        std::optional<std::optional<bool>> answer;  // none: an error
    };
    const Blank blanks[] = {
        {"true", true},      {"false", false},   {"null", std::optional<bool>()},
        {"1", std::nullopt}, {"", std::nullopt}, {"\"true\"", std::nullopt}};
    for (const Blank& b : blanks) {
        const auto decoded = decodeBlankAnswer(b.json);
        if (!b.answer) {
            EXPECT_TRUE(std::holds_alternative<QString>(decoded)) << b.json;
        } else {
            ASSERT_TRUE(std::holds_alternative<std::optional<bool>>(decoded)) << b.json;
            EXPECT_EQ(std::get<std::optional<bool>>(decoded), *b.answer) << b.json;
        }
    }
}

}  // namespace
}  // namespace tw::test
