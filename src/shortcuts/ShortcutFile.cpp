#include "ShortcutFile.h"

#include <QCryptographicHash>
#include <QList>

namespace tw::shortcuts {

namespace {

constexpr char kMagic[] = "Tarnwhistle-Shortcut: 1";
constexpr char kNameField[] = "Name: ";
constexpr char kHashField[] = "SHA-256: ";

QByteArray digest(const QByteArray& script) {
    return QCryptographicHash::hash(script, QCryptographicHash::Sha256).toHex();
}

bool isLowerHex(const QByteArray& text) {
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

}  // namespace

bool isShortcutName(const QString& name) {
    if (name.isEmpty() || name.startsWith(u'.') || name.contains(u'/')) return false;
    if (name.toUtf8().size() > 255) return false;
    for (const QChar c : name) {
        // Nor characters that would make it look like another name (direction overrides).
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) {
            return false;
        }
    }
    return true;
}

QString scriptProblem(const QByteArray& script) {
    if (script.size() > kMaxScriptBytes) {
        return QStringLiteral("it is larger than %1 KiB").arg(kMaxScriptBytes / 1024);
    }
    if (!script.startsWith("#!")) return QStringLiteral("it is not a script starting with #!");
    return {};
}

QByteArray seal(const Shortcut& shortcut) {
    QByteArray file;
    file += kMagic;
    file += '\n';
    file += kNameField + shortcut.name.toUtf8() + '\n';
    file += kHashField + digest(shortcut.script) + '\n';
    file += '\n';
    file += shortcut.script;
    return file;
}

std::variant<Shortcut, QString> unseal(const QByteArray& file) {
    if (file.size() > kMaxFileBytes) {
        return QStringLiteral("it is larger than %1 KiB").arg(kMaxFileBytes / 1024);
    }
    // Three header lines and the empty line that ends the header.
    QList<QByteArray> header;
    qsizetype at = 0;
    while (header.size() < 4) {
        const qsizetype end = file.indexOf('\n', at);
        if (end < 0) return QStringLiteral("its header is incomplete");
        header.append(file.mid(at, end - at));
        at = end + 1;
    }
    if (header[0] != kMagic) return QStringLiteral("it does not start like one");
    if (!header[1].startsWith(kNameField) || !header[2].startsWith(kHashField) ||
        !header[3].isEmpty()) {
        return QStringLiteral("its header is damaged");
    }
    const QByteArray nameBytes = header[1].mid(qsizetype(sizeof kNameField) - 1);
    const QString name = QString::fromUtf8(nameBytes);
    if (name.toUtf8() != nameBytes || !isShortcutName(name)) {
        return QStringLiteral("its name cannot be the name of a shortcut");
    }
    const QByteArray hash = header[2].mid(qsizetype(sizeof kHashField) - 1);
    if (hash.size() != 64 || !isLowerHex(hash)) return QStringLiteral("its checksum is damaged");
    Shortcut shortcut{name, file.mid(at)};
    if (digest(shortcut.script) != hash) {
        return QStringLiteral("its contents do not match its checksum");
    }
    if (const QString problem = scriptProblem(shortcut.script); !problem.isEmpty()) {
        return problem;
    }
    return shortcut;
}

}  // namespace tw::shortcuts
