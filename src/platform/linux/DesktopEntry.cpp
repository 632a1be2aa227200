#include "platform/linux/DesktopEntry.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace tw {

namespace {

const QString kSuffix = QStringLiteral(".desktop");

// The string escapes of the format: \s \n \t \r \\. Any other backslash stays as it is, for the
// Exec quoting to read.
QString unescape(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[i + 1];
        if (next == u's') {
            out += u' ';
        } else if (next == u'n') {
            out += u'\n';
        } else if (next == u't') {
            out += u'\t';
        } else if (next == u'r') {
            out += u'\r';
        } else if (next == u'\\') {
            out += u'\\';
        } else {
            out += c;
            out += next;
        }
        ++i;
    }
    return out;
}

// The keys of the [Desktop Entry] group; the first of a repeated key counts.
QHash<QString, QString> mainGroup(const QByteArray& text) {
    QHash<QString, QString> keys;
    bool inMain = false;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (line.startsWith('[')) {
            if (inMain) break;  // the main group is over; actions and others follow
            inMain = line == "[Desktop Entry]";
            continue;
        }
        if (!inMain) continue;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0) continue;
        const QString key = QString::fromUtf8(line.left(eq).trimmed());
        if (!keys.contains(key)) keys.insert(key, QString::fromUtf8(line.mid(eq + 1).trimmed()));
    }
    return keys;
}

bool isTrue(const QString& value) {
    return value == QLatin1String("true");
}

QString localized(const QHash<QString, QString>& keys, const QString& key, const QString& locale) {
    // "de_DE.UTF-8@euro" → "de_DE@euro", "de_DE", "de@euro", "de".
    QString base = locale.section(u'.', 0, 0);
    QString modifier;
    if (const qsizetype at = locale.indexOf(u'@'); at >= 0) {
        modifier = locale.mid(at);
        base = base.section(u'@', 0, 0);
    }
    const QString lang = base.section(u'_', 0, 0);
    QStringList tries;
    if (!modifier.isEmpty()) tries << base + modifier;
    tries << base;
    if (!modifier.isEmpty()) tries << lang + modifier;
    tries << lang;
    for (const QString& t : tries) {
        if (t.isEmpty()) continue;
        const auto it = keys.constFind(key + u'[' + t + u']');
        if (it != keys.constEnd() && !it->isEmpty()) return unescape(*it);
    }
    return unescape(keys.value(key));
}

}  // namespace

ParsedDesktopEntry parseDesktopEntry(const QByteArray& text, const QString& id,
                                     const QString& locale) {
    const QHash<QString, QString> keys = mainGroup(text);
    ParsedDesktopEntry parsed;
    if (keys.isEmpty()) return parsed;
    if (isTrue(keys.value(QStringLiteral("Hidden")))) {
        parsed.kind = ParsedDesktopEntry::Kind::hidden;
        parsed.entry.id = id;
        return parsed;
    }
    if (keys.value(QStringLiteral("Type")) != QLatin1String("Application")) return parsed;
    parsed.kind = ParsedDesktopEntry::Kind::application;
    DesktopEntry& e = parsed.entry;
    e.id = id;
    e.name = localized(keys, QStringLiteral("Name"), locale);
    e.icon = unescape(keys.value(QStringLiteral("Icon")));
    e.program = execProgram(unescape(keys.value(QStringLiteral("Exec"))));
    e.startupWMClass = unescape(keys.value(QStringLiteral("StartupWMClass")));
    e.noDisplay = isTrue(keys.value(QStringLiteral("NoDisplay")));
    return parsed;
}

QString desktopIdOf(const QString& applicationsFolder, const QString& file) {
    if (!file.endsWith(kSuffix)) return {};
    const QString relative = QDir(applicationsFolder).relativeFilePath(file);
    if (relative.startsWith(QLatin1String("../")) || QFileInfo(relative).isAbsolute()) return {};
    QString id = relative.chopped(kSuffix.size());
    id.replace(u'/', u'-');
    return id;
}

std::optional<QStringList> execWords(const QString& exec) {
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == u'"') {
                quoted = false;
            } else if (c == u'\\' && i + 1 < exec.size() &&
                       QStringView(u"\"`$\\").contains(exec[i + 1])) {
                word += exec[++i];
            } else {
                word += c;
            }
        } else if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inWord) words << word;
            word.clear();
            inWord = false;
        } else if (c == u'"') {
            quoted = true;
            inWord = true;
        } else if (c == u'\\' && i + 1 < exec.size()) {
            word += exec[++i];
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) return std::nullopt;
    if (inWord) words << word;
    return words;
}

QString execProgram(const QString& exec) {
    const auto words = execWords(exec);
    if (!words || words->isEmpty()) return {};
    qsizetype i = 0;
    if (QFileInfo(words->at(0)).fileName() == QLatin1String("env")) {
        ++i;
        while (i < words->size() && words->at(i).contains(u'=') && !words->at(i).startsWith(u'/'))
            ++i;
    }
    return i < words->size() ? words->at(i) : QString();
}

}  // namespace tw
