#pragma once

// The applications installed for this user: the desktop entries in the applications folders of
// the XDG data directories ($XDG_DATA_HOME first, then each of $XDG_DATA_DIRS; an id found in an
// earlier folder hides the same id in later ones, and Hidden=true deletes it). The index is read
// at its first use and again at the first use after a folder changed (a file watch on the folders
// and their subfolders), so a program installed while Tarnwhistle runs is known at once.
//
// It also tells which installed application a window belongs to.

#include <QFileSystemWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <optional>

#include "platform/linux/DesktopEntry.h"

namespace tw {

// What a top-level window tells about the program that shows it.
struct WindowIdentity {
    QString gtkApplicationId;  // _GTK_APPLICATION_ID
    QString kdeDesktopFile;    // _KDE_NET_WM_DESKTOP_FILE
    QString wmInstance;        // the instance part of WM_CLASS
    QString wmClass;           // the class part of WM_CLASS
    QString executable;        // the executable of its process (/proc/<_NET_WM_PID>/exe)

    friend bool operator==(const WindowIdentity&, const WindowIdentity&) = default;
};

class DesktopEntries final : public QObject {
    Q_OBJECT
public:
    // The applications folders in precedence order, from the XDG base directory variables.
    static QStringList defaultFolders();

    explicit DesktopEntries(QStringList folders = defaultFolders(), QObject* parent = nullptr);

    const QStringList& folders() const { return folders_; }

    // Every installed application, by id.
    QList<DesktopEntry> entries() const;
    // The applications a picker offers (NoDisplay ones left out), by name ignoring case.
    QList<DesktopEntry> shown() const;
    std::optional<DesktopEntry> entry(const QString& id) const;

    // The desktop entry id of the application a window belongs to, trying in this order:
    // _GTK_APPLICATION_ID, then _KDE_NET_WM_DESKTOP_FILE, each when an entry with that id is
    // installed; then WM_CLASS (class or instance) equal to an entry's StartupWMClass, then equal
    // to an entry's id ignoring case; then the window's executable equal to the program an
    // entry's Exec runs. Where several entries qualify, shown ones come before NoDisplay ones,
    // then folder precedence, then id order. Empty when none matches.
    QString desktopIdFor(const WindowIdentity& window) const;

    // Reads the folders again now.
    void reload();

Q_SIGNALS:
    // Something in the folders changed; the index is read again at its next use.
    void changed();

private:
    struct Index {
        QList<DesktopEntry> entries;  // by precedence: folder order, then id order
        QHash<QString, qsizetype> byId;
        QHash<QString, QString> byStartupWMClass;
        QHash<QString, QString> byLowerId;
        // Canonical executable path → id, made on the first match that gets that far.
        std::optional<QHash<QString, QString>> byProgram;
    };

    const Index& index() const;
    const QHash<QString, QString>& programIndex() const;
    void watchFolders();

    QStringList folders_;
    QFileSystemWatcher watcher_;
    mutable bool stale_ = true;
    mutable Index index_;
};

}  // namespace tw
