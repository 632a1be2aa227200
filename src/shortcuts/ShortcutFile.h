#pragma once

// The importable form of a shortcut, as `sign` writes it and `import` reads it. A text header
// of three lines and an empty line, then the shortcut's script unchanged:
//
//     Tarnwhistle-Shortcut: 1
//     Name: Tarnwhistle DND On
//     SHA-256: <the script's SHA-256, 64 lower-case hexadecimal digits>
//
//     #!/bin/sh
//     ...
//
// The checksum guards against a damaged or truncated file; it proves nothing about who made it,
// which is why `import` always asks the user before it adds one.

#include <QByteArray>
#include <QString>
#include <variant>

namespace tw::shortcuts {

inline constexpr char kFileSuffix[] = ".tarnwhistle-shortcut";
inline constexpr qint64 kMaxScriptBytes = 64 * 1024;
inline constexpr qint64 kMaxFileBytes = kMaxScriptBytes + 1024;

struct Shortcut {
    QString name;
    QByteArray script;
};

// A name is a file name in the shortcuts folder and nothing else: not empty, no path, no way
// out of the folder, not hidden, no control or formatting characters, at most 255 bytes.
bool isShortcutName(const QString& name);

// Why `script` cannot be a shortcut's script, or an empty string when it can: it is a program
// that starts with "#!" and is at most kMaxScriptBytes long.
QString scriptProblem(const QByteArray& script);

// The importable file of a shortcut whose name and script are valid.
QByteArray seal(const Shortcut& shortcut);

// The shortcut in an importable file, or why the file is not one (a phrase that completes
// "it is not a shortcut Tarnwhistle can add: …").
std::variant<Shortcut, QString> unseal(const QByteArray& file);

}  // namespace tw::shortcuts
