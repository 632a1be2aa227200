#include "platform/linux/DesktopEntries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QStandardPaths>
#include <algorithm>
#include <map>

namespace tw {

namespace {

QStringList absolutePaths(const QString& list) {
    QStringList out;
    for (const QString& p : list.split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(p)) out << QDir::cleanPath(p);
    }
    return out;
}

QByteArray readEntryFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.read(256 * 1024);
}

// The executable a program name runs: an absolute path as it is, a bare name through PATH; with
// links resolved, as /proc shows a running executable.
QString canonicalProgram(const QString& program) {
    if (program.isEmpty()) return {};
    QString path = program;
    if (!QDir::isAbsolutePath(program)) {
        if (program.contains(u'/')) return {};
        path = QStandardPaths::findExecutable(program);
        if (path.isEmpty()) return {};
    }
    return QFileInfo(path).canonicalFilePath();
}

}  // namespace

QStringList DesktopEntries::defaultFolders() {
    QStringList bases;
    const QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(home)) {
        bases << QDir::cleanPath(home);
    } else {
        bases << QDir::homePath() + QStringLiteral("/.local/share");
    }
    QStringList dirs = absolutePaths(qEnvironmentVariable("XDG_DATA_DIRS"));
    if (dirs.isEmpty()) dirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    bases << dirs;
    QStringList folders;
    for (const QString& b : bases) {
        const QString f = b + QStringLiteral("/applications");
        if (!folders.contains(f)) folders << f;
    }
    return folders;
}

DesktopEntries::DesktopEntries(QStringList folders, QObject* parent)
    : QObject(parent), folders_(std::move(folders)) {
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        stale_ = true;
        watchFolders();  // subfolders come and go
        Q_EMIT changed();
    });
    watchFolders();
}

void DesktopEntries::watchFolders() {
    const QStringList old = watcher_.directories();
    if (!old.isEmpty()) watcher_.removePaths(old);
    QStringList paths;
    for (const QString& folder : std::as_const(folders_)) {
        if (!QFileInfo(folder).isDir()) {
            // A folder made later (a first program installed for this user) shows in its parent.
            const QString parent = QFileInfo(folder).absolutePath();
            if (QFileInfo(parent).isDir()) paths << parent;
            continue;
        }
        paths << folder;
        QDirIterator it(folder, QDir::Dirs | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext()) paths << it.next();
    }
    paths.removeDuplicates();
    if (!paths.isEmpty()) watcher_.addPaths(paths);
}

void DesktopEntries::reload() {
    stale_ = true;
    watchFolders();
    index();
}

const DesktopEntries::Index& DesktopEntries::index() const {
    if (!stale_) return index_;
    stale_ = false;
    Index fresh;
    const QString locale = QLocale::system().name();
    QSet<QString> seen;  // ids taken by a folder of higher precedence, deleted ones included
    for (const QString& folder : folders_) {
        std::map<QString, QString> files;  // id → file, in id order
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext()) {
            const QString file = it.next();
            const QString id = desktopIdOf(folder, file);
            if (!id.isEmpty() && !seen.contains(id)) files.emplace(id, file);
        }
        for (const auto& [id, file] : files) {
            seen.insert(id);
            ParsedDesktopEntry parsed = parseDesktopEntry(readEntryFile(file), id, locale);
            if (parsed.kind != ParsedDesktopEntry::Kind::application) continue;
            parsed.entry.file = file;
            fresh.byId.insert(id, fresh.entries.size());
            fresh.entries << parsed.entry;
        }
    }
    // Shown entries first, so that a helper entry with the same window class loses.
    for (const bool hidden : {false, true}) {
        for (const DesktopEntry& e : std::as_const(fresh.entries)) {
            if (e.noDisplay != hidden) continue;
            if (!e.startupWMClass.isEmpty() && !fresh.byStartupWMClass.contains(e.startupWMClass))
                fresh.byStartupWMClass.insert(e.startupWMClass, e.id);
            const QString lower = e.id.toLower();
            if (!fresh.byLowerId.contains(lower)) fresh.byLowerId.insert(lower, e.id);
        }
    }
    index_ = std::move(fresh);
    return index_;
}

const QHash<QString, QString>& DesktopEntries::programIndex() const {
    index();
    Index& idx = index_;
    if (!idx.byProgram) {
        QHash<QString, QString> byProgram;
        for (const bool hidden : {false, true}) {
            for (const DesktopEntry& e : std::as_const(idx.entries)) {
                if (e.noDisplay != hidden) continue;
                const QString path = canonicalProgram(e.program);
                if (!path.isEmpty() && !byProgram.contains(path)) byProgram.insert(path, e.id);
            }
        }
        idx.byProgram = std::move(byProgram);
    }
    return *idx.byProgram;
}

QList<DesktopEntry> DesktopEntries::entries() const {
    QList<DesktopEntry> all = index().entries;
    std::sort(all.begin(), all.end(),
              [](const DesktopEntry& a, const DesktopEntry& b) { return a.id < b.id; });
    return all;
}

QList<DesktopEntry> DesktopEntries::shown() const {
    QList<DesktopEntry> out;
    for (const DesktopEntry& e : index().entries) {
        if (!e.noDisplay) out << e;
    }
    std::stable_sort(out.begin(), out.end(), [](const DesktopEntry& a, const DesktopEntry& b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.id < b.id;
    });
    return out;
}

std::optional<DesktopEntry> DesktopEntries::entry(const QString& id) const {
    const Index& idx = index();
    const auto it = idx.byId.constFind(id);
    if (it == idx.byId.constEnd()) return std::nullopt;
    return idx.entries.at(*it);
}

QString DesktopEntries::desktopIdFor(const WindowIdentity& window) const {
    const Index& idx = index();
    if (idx.byId.contains(window.gtkApplicationId)) return window.gtkApplicationId;
    if (!window.kdeDesktopFile.isEmpty()) {
        QString id = QFileInfo(window.kdeDesktopFile).fileName();
        if (id.endsWith(QLatin1String(".desktop"))) id.chop(8);
        if (idx.byId.contains(id)) return id;
    }
    const QString names[] = {window.wmClass, window.wmInstance};
    for (const QString& n : names) {
        if (n.isEmpty()) continue;
        if (const auto it = idx.byStartupWMClass.constFind(n); it != idx.byStartupWMClass.cend())
            return *it;
    }
    for (const QString& n : names) {
        if (n.isEmpty()) continue;
        if (const auto it = idx.byLowerId.constFind(n.toLower()); it != idx.byLowerId.cend())
            return *it;
    }
    if (!window.executable.isEmpty()) {
        const QString exe = QFileInfo(window.executable).canonicalFilePath();
        const QHash<QString, QString>& byProgram = programIndex();
        if (const auto it = byProgram.constFind(exe.isEmpty() ? window.executable : exe);
            it != byProgram.cend())
            return *it;
    }
    return {};
}

}  // namespace tw
