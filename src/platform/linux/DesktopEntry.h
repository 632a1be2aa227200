#pragma once

// One installed application as its desktop entry file describes it (the freedesktop Desktop Entry
// format): only the [Desktop Entry] group is read, and only the keys the program uses.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

struct DesktopEntry {
    QString id;              // the desktop entry id, without ".desktop" ("org.gnome.TextEditor")
    QString name;            // Name=, in the user's language where the file has it
    QString icon;            // Icon=: a theme icon name or an absolute path
    QString program;         // the program Exec= runs (its first word, past an `env` prefix)
    QString startupWMClass;  // StartupWMClass=
    bool noDisplay = false;  // NoDisplay=true: installed, but not shown in menus and pickers
    QString file;            // the file it was read from

    friend bool operator==(const DesktopEntry&, const DesktopEntry&) = default;
};

// What reading an entry file found.
struct ParsedDesktopEntry {
    enum class Kind {
        application,  // an application entry: `entry` is filled in
        hidden,       // Hidden=true: the id is deleted, and so are entries of lower precedence
        other,        // not an application (a link, a folder), or not an entry at all
    };
    Kind kind = Kind::other;
    DesktopEntry entry;
};

// Reads the text of an entry file. `locale` ("de_DE") chooses Name[de_DE], then Name[de], then
// Name.
ParsedDesktopEntry parseDesktopEntry(const QByteArray& text, const QString& id,
                                     const QString& locale);

// The desktop entry id of a file below an applications folder: its path relative to the folder,
// '/' turned into '-', without ".desktop" ("kde/okular.desktop" → "kde-okular"). Empty for a
// file that is not below the folder or not a ".desktop" file.
QString desktopIdOf(const QString& applicationsFolder, const QString& file);

// The words of an Exec= value after the format's quoting rules (a word in double quotes may hold
// blanks and the escapes \" \` \$ \\); none when the quoting is broken.
std::optional<QStringList> execWords(const QString& exec);

// The program of an Exec= value: its first word, past `env` and its VAR=value assignments.
QString execProgram(const QString& exec);

}  // namespace tw
