// The installed applications: reading entry files, the folders' precedence, following changes,
// and which application a window belongs to.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/TestSupport.h"
#include "platform/linux/DesktopEntries.h"

namespace tw::test {
namespace {

void write(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(text);
}

QByteArray app(const QByteArray& keys) {
    return "[Desktop Entry]\nType=Application\n" + keys;
}

TEST(DesktopEntryTest, ReadsTheMainGroupOnly) {
    const QByteArray text =
        "# comment\n[Desktop Entry]\nType = Application\nName=Editor\nName[de]=Bearbeiter\n"
        "Name[de_CH]=Editor CH\nIcon=accessories-text-editor\nExec=env LANG=C MODE=x "
        "/usr/bin/ed\\sit %F\nStartupWMClass=Ed\nNoDisplay=true\n"
        "[Desktop Action new]\nExec=other --new\nName=New\n";
    const ParsedDesktopEntry parsed = parseDesktopEntry(text, QStringLiteral("ed"), "de_AT.UTF-8");
    ASSERT_EQ(parsed.kind, ParsedDesktopEntry::Kind::application);
    EXPECT_EQ(parsed.entry.id, QStringLiteral("ed"));
    EXPECT_EQ(parsed.entry.name, QStringLiteral("Bearbeiter"));
    EXPECT_EQ(parsed.entry.icon, QStringLiteral("accessories-text-editor"));
    EXPECT_EQ(parsed.entry.program, QStringLiteral("/usr/bin/ed"));
    EXPECT_EQ(parsed.entry.startupWMClass, QStringLiteral("Ed"));
    EXPECT_TRUE(parsed.entry.noDisplay);

    EXPECT_EQ(parseDesktopEntry(app("Hidden=true\n"), "x", "C").kind,
              ParsedDesktopEntry::Kind::hidden);
    EXPECT_EQ(parseDesktopEntry("[Desktop Entry]\nType=Link\nURL=x\n", "x", "C").kind,
              ParsedDesktopEntry::Kind::other);
    EXPECT_EQ(parseDesktopEntry("[Other]\nType=Application\n", "x", "C").kind,
              ParsedDesktopEntry::Kind::other);
}

TEST(DesktopEntryTest, ExecProgram) {
    const struct {
        const char* exec;
        const char* program;
    } cases[] = {
        {"firefox-esr %u", "firefox-esr"},
        {"  gimp-2.10  %U", "gimp-2.10"},
        {"\"/opt/My App/bin/app\" --flag", "/opt/My App/bin/app"},
        {R"("/opt/odd\"name/app" %f)", "/opt/odd\"name/app"},
        {"env GTK_THEME=Adwaita:dark gedit %U", "gedit"},
        {"/usr/bin/env A=1 /opt/x/run", "/opt/x/run"},
        {"\"unterminated", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(execProgram(QString::fromUtf8(c.exec)), QString::fromUtf8(c.program)) << c.exec;
    }
}

TEST(DesktopEntryTest, IdsFollowTheSubfolderRule) {
    EXPECT_EQ(desktopIdOf("/d/applications", "/d/applications/org.a.B.desktop"), "org.a.B");
    EXPECT_EQ(desktopIdOf("/d/applications", "/d/applications/kde/okular.desktop"), "kde-okular");
    EXPECT_EQ(desktopIdOf("/d/applications", "/d/applications/readme.txt"), "");
    EXPECT_EQ(desktopIdOf("/d/applications", "/e/applications/x.desktop"), "");
}

TEST(DesktopEntriesTest, DefaultFoldersFollowTheXdgVariables) {
    const QByteArray home = qgetenv("XDG_DATA_HOME"), dirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", "/h/share");
    qputenv("XDG_DATA_DIRS", "/a:relative/b:/usr/share/:/a");
    const QStringList folders = DesktopEntries::defaultFolders();
    qputenv("XDG_DATA_HOME", home);
    qputenv("XDG_DATA_DIRS", dirs);
    EXPECT_EQ(folders,
              (QStringList{"/h/share/applications", "/a/applications", "/usr/share/applications"}));
}

class DesktopEntriesFixture : public ::testing::Test {
public:
    QTemporaryDir dir;
    QString home() const { return dir.filePath("home/applications"); }
    QString system() const { return dir.filePath("system/applications"); }
};

TEST_F(DesktopEntriesFixture, EarlierFoldersWinAndHiddenDeletes) {
    write(home() + "/org.example.Editor.desktop", app("Name=Home Editor\nExec=ed\n"));
    write(system() + "/org.example.Editor.desktop", app("Name=System Editor\nExec=ed\n"));
    write(home() + "/gone.desktop", app("Hidden=true\n"));
    write(system() + "/gone.desktop", app("Name=Gone\nExec=gone\n"));
    write(system() + "/kde/okular.desktop", app("Name=Okular\nExec=okular\n"));
    write(system() + "/helper.desktop", app("Name=Helper\nNoDisplay=true\nExec=helper\n"));
    write(system() + "/link.desktop", "[Desktop Entry]\nType=Link\nName=Link\n");
    write(system() + "/notes.txt", app("Name=Notes\n"));

    DesktopEntries entries({home(), system()});
    QStringList ids;
    for (const DesktopEntry& e : entries.entries()) ids << e.id;
    EXPECT_EQ(ids, (QStringList{"helper", "kde-okular", "org.example.Editor"}));
    EXPECT_EQ(entries.entry("org.example.Editor")->name, QStringLiteral("Home Editor"));
    EXPECT_EQ(entries.entry("org.example.Editor")->file, home() + "/org.example.Editor.desktop");
    EXPECT_FALSE(entries.entry("gone"));
    QStringList shown;
    for (const DesktopEntry& e : entries.shown()) shown << e.name;
    EXPECT_EQ(shown, (QStringList{"Home Editor", "Okular"}));
}

TEST_F(DesktopEntriesFixture, FollowsFoldersThatChangeOrAppear) {
    write(system() + "/first.desktop", app("Name=First\n"));
    QDir().mkpath(dir.filePath("home"));
    DesktopEntries entries({home(), system()});  // its applications folder does not exist yet
    ASSERT_TRUE(entries.entry("first"));
    int changes = 0;
    QObject::connect(&entries, &DesktopEntries::changed, [&] { ++changes; });

    write(system() + "/second.desktop", app("Name=Second\n"));
    EXPECT_TRUE(waitUntil([&] { return entries.entry("second").has_value(); }));
    write(home() + "/first.desktop", app("Hidden=true\n"));
    EXPECT_TRUE(waitUntil([&] { return !entries.entry("first").has_value(); }));
    write(home() + "/sub/third.desktop", app("Name=Third\n"));
    EXPECT_TRUE(waitUntil([&] { return entries.entry("sub-third").has_value(); }));
    write(home() + "/sub/fourth.desktop", app("Name=Fourth\n"));
    EXPECT_TRUE(waitUntil([&] { return entries.entry("sub-fourth").has_value(); }));
    EXPECT_GT(changes, 0);
}

TEST_F(DesktopEntriesFixture, WindowsMatchInOrder) {
    // A program, and a link to it that an entry's Exec names.
    const QString bin = dir.filePath("bin");
    write(bin + "/real-program", "#!/bin/sh\n");
    QFile::link(bin + "/real-program", bin + "/program-link");

    write(system() + "/org.example.Gtk.desktop", app("Name=Gtk\n"));
    write(system() + "/org.example.Kde.desktop", app("Name=Kde\n"));
    write(system() + "/startup.desktop", app("Name=Startup\nStartupWMClass=Shared\n"));
    write(system() + "/shared.desktop", app("Name=Shared\n"));
    write(system() + "/plain.desktop", app("Name=Plain\n"));
    write(system() + "/byexec.desktop",
          app("Name=ByExec\nExec=" + (bin + "/program-link").toUtf8() + " %U\n"));
    write(system() + "/a-helper.desktop", app("Name=Helper\nNoDisplay=true\nStartupWMClass=Two\n"));
    write(system() + "/z-shown.desktop", app("Name=Shown\nStartupWMClass=Two\n"));
    DesktopEntries entries({system()});

    const QString exe = bin + "/real-program";
    const struct {
        const char* what;
        WindowIdentity window;
        QString id;
    } cases[] = {
        {"application id first",
         {"org.example.Gtk", "org.example.Kde", "plain", "Shared", exe},
         "org.example.Gtk"},
        {"an id not installed is passed over",
         {"org.example.Missing", "org.example.Kde.desktop", "plain", "Shared", exe},
         "org.example.Kde"},
        {"desktop file as a path",
         {"", "/usr/share/applications/org.example.Kde.desktop", "", "", ""},
         "org.example.Kde"},
        {"StartupWMClass before an id equal to the class",
         {"", "", "plain", "Shared", exe},
         "startup"},
        {"id equal to the instance, ignoring case", {"", "", "PLAIN", "Unknown", exe}, "plain"},
        {"executable through a link", {"", "", "none", "None", exe}, "byexec"},
        {"shown entries before NoDisplay ones", {"", "", "", "Two", ""}, "z-shown"},
        {"nothing matches", {"", "", "none", "None", "/usr/bin/true"}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(entries.desktopIdFor(c.window), c.id) << c.what;
    }
}

}  // namespace
}  // namespace tw::test
