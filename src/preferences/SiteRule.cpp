#include "preferences/SiteRule.h"

#include <QByteArray>
#include <QSet>
#include <QUrl>

namespace tw {

namespace {

const QString kWww = QStringLiteral("www.");

bool isAsciiLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Whether the text opens with a URL scheme followed by "://". Text without one is taken as an
// address without its scheme; looking only at the opening keeps a "://" inside a path (which a
// stored entry may hold) from being read as a scheme separator.
bool hasSchemeSeparator(const QString& text) {
    if (text.isEmpty() || !isAsciiLetter(text.front())) return false;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u':') return text.mid(i, 3) == QLatin1String("://");
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != u'+' && c != u'-' && c != u'.') {
            return false;
        }
    }
    return false;
}

// The authority of an absolute "scheme://authority/..." text exactly as written, so that an
// empty user ("@example.org") or an empty port ("example.org:") still shows as present.
QString rawAuthority(const QString& text) {
    const qsizetype start = text.indexOf(QLatin1String("://")) + 3;
    qsizetype end = start;
    while (end < text.size()) {
        const QChar c = text.at(end);
        if (c == u'/' || c == u'?' || c == u'#') break;
        ++end;
    }
    return text.mid(start, end - start);
}

bool isValidLabel(QStringView label) {
    if (label.isEmpty() || label.front() == u'-' || label.back() == u'-') return false;
    for (const QChar c : label) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != u'-') return false;
    }
    return true;
}

bool isWebScheme(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// Removes "." and ".." segments from an absolute path (RFC 3986, section 5.2.4), working on the
// decoded text so that encoded dots and slashes count like written ones.
QString removeDotSegments(const QString& path) {
    if (!path.startsWith(u'/')) return path;
    const QList<QStringView> segments = QStringView(path).mid(1).split(u'/');
    QList<QStringView> kept;
    bool trailingSlash = false;
    for (const QStringView segment : segments) {
        trailingSlash = false;
        if (segment == u".") {
            trailingSlash = true;
        } else if (segment == u"..") {
            if (!kept.isEmpty()) kept.removeLast();
            trailingSlash = true;
        } else {
            kept.append(segment);
        }
    }
    QString out = QStringLiteral("/");
    for (qsizetype i = 0; i < kept.size(); ++i) {
        if (i > 0) out += u'/';
        out += kept.at(i);
    }
    if (trailingSlash && !kept.isEmpty()) out += u'/';
    return out;
}

// A host name as the URL parser reads it (lower case, numeric hosts as dotted quads).
QString hostAsRead(const QString& host) {
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(host);
    return url.host(QUrl::EncodeUnicode).toLower();
}

// The path of a URL, percent-decoded and with its dot segments resolved.
QString standardPath(const QUrl& url) {
    return removeDotSegments(url.path(QUrl::FullyDecoded));
}

// Letters, digits, "-._~", the sub-delimiters, ":", "@" and "/" stay as they are; every other
// byte of the UTF-8 form becomes "%XX" with upper-case hex digits.
QString encodedPath(const QString& path) {
    static const QByteArray allowed = QByteArrayLiteral("!$&'()*+,;=:@/");
    return QString::fromLatin1(path.toUtf8().toPercentEncoding(allowed));
}

bool hasNonCharacter(const QString& text) {
    for (const char32_t c : text.toUcs4()) {
        if (QChar::isNonCharacter(c)) return true;
    }
    return false;
}

// The URL decoder refuses Unicode noncharacters (U+FDD0, U+FFFF, ...): their escapes read back
// as one replacement character per byte. A typed noncharacter is therefore settled on what its
// stored form will read back as, so that the rule and its stored form stay the same rule.
QString settledPath(const QString& path) {
    if (!hasNonCharacter(path)) return path;
    const QUrl url(QStringLiteral("https://host.invalid") + encodedPath(path), QUrl::TolerantMode);
    return standardPath(url);
}

}  // namespace

std::optional<SiteRule> SiteRule::parse(const QString& input) {
    QString text = input.trimmed();
    if (text.isEmpty()) return std::nullopt;
    for (const QChar c : text) {
        if (c.isSpace()) return std::nullopt;
    }
    if (!hasSchemeSeparator(text)) text.prepend(QStringLiteral("https://"));

    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || url.isRelative() || !isWebScheme(url)) return std::nullopt;

    // User, password, port, query and fragment are refused when present, even empty.
    const QString authority = rawAuthority(text);
    if (authority.contains(u'@') || authority.contains(u':')) return std::nullopt;
    if (!url.userInfo().isEmpty() || url.port() != -1) return std::nullopt;
    if (url.hasQuery() || url.hasFragment()) return std::nullopt;

    // The host as typed may hold only ASCII letters, digits, "-" and "." (no percent escapes,
    // no Unicode that name preparation would map to ASCII, no wildcards).
    for (const QChar c : authority) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != u'-' && c != u'.') return std::nullopt;
    }
    // The host as the parser reads it, so that a numeric host compares like a tab's
    // ("127.1" is 127.0.0.1 there too).
    QString host = url.host(QUrl::EncodeUnicode).toLower();
    if (host.isEmpty() || !host.contains(u'.') || host.contains(u'*')) return std::nullopt;
    for (const QStringView label : QStringView(host).split(u'.')) {
        if (!isValidLabel(label)) return std::nullopt;
    }
    // "www." is dropped as often as it leads, so the stored form reads back as the same rule;
    // what remains must still name a site rather than a bare top-level label.
    if (host.startsWith(kWww)) {
        while (host.startsWith(kWww)) host.remove(0, kWww.size());
        host = hostAsRead(host);
        if (!host.contains(u'.')) return std::nullopt;
    }

    QString path = settledPath(standardPath(url));
    if (path == QLatin1String("/")) path.clear();
    while (path.endsWith(u'/')) path.chop(1);
    return SiteRule{host, path};
}

QString SiteRule::storedForm() const {
    if (!path.isValidUtf16()) return host + path;
    return host + encodedPath(path);
}

bool SiteRule::matches(const QString& address) const {
    const QUrl url(address, QUrl::TolerantMode);
    if (!url.isValid() || !isWebScheme(url)) return false;
    QString tabHost = url.host(QUrl::EncodeUnicode).toLower();
    // "example.org." is the same host written as a fully qualified name.
    if (tabHost.endsWith(u'.')) tabHost.chop(1);
    if (tabHost.isEmpty()) return false;
    if (tabHost != host && !tabHost.endsWith(u'.' + host)) return false;
    if (path.isEmpty()) return true;
    const QString tabPath = standardPath(url);
    if (tabPath == path) return true;
    return tabPath.size() > path.size() && tabPath.startsWith(path) &&
           tabPath.at(path.size()) == u'/';
}

QStringList cleanedBlockedSites(const QStringList& stored) {
    QStringList out;
    QSet<QString> seen;
    for (const QString& entry : stored) {
        const auto rule = SiteRule::parse(entry);
        if (!rule) continue;
        const QString form = rule->storedForm();
        if (seen.contains(form)) continue;
        seen.insert(form);
        out.append(form);
    }
    return out;
}

}  // namespace tw
