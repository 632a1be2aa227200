#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>

#include "Commands.h"
#include "ShortcutFile.h"
#include "support/Paths.h"

namespace tw::shortcuts {

namespace {

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// Asks whether to add the shortcut; true for "Add". Cancel is the default and the escape button.
bool userAgrees(const Shortcut& shortcut, bool replaces) {
    QMessageBox box;
    box.setIcon(QMessageBox::Question);
    box.setWindowTitle(QStringLiteral("Add Shortcut"));
    box.setWindowIcon(QIcon::fromTheme(QLatin1String(tw::paths::kAppId)));
    box.setTextFormat(Qt::PlainText);  // the name is shown as it is, never as markup
    box.setText(QStringLiteral("Add the shortcut \u201C%1\u201D?").arg(shortcut.name));
    const QString trust = QStringLiteral(
        "A shortcut is a program that runs as you: add it only if you trust where it came from.");
    box.setInformativeText(
        replaces ? QStringLiteral("It replaces your shortcut of the same name. ") + trust : trust);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    QPushButton* add = box.addButton(QStringLiteral("&Add"), QMessageBox::AcceptRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    // Opened from a file manager or another application: in front of it.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    box.exec();
    return box.clickedButton() == add;
}

// Writes the script as the executable NAME in the shortcuts folder (made readable by the user
// only), replacing any shortcut of that name in one step. Returns why it failed, or nothing.
QString install(const Shortcut& shortcut) {
    const QString folder = shortcutsFolder();
    const bool made = QFileInfo(folder).isDir() ||
                      (QDir().mkpath(tw::paths::dataDir()) && QDir().mkdir(folder, kOwnerOnly));
    if (!made || !QFile::setPermissions(folder, kOwnerOnly)) {
        return QStringLiteral("cannot make the folder %1").arg(quoted(folder));
    }
    QSaveFile file(folder + u'/' + shortcut.name);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kOwnerOnly) ||
        file.write(shortcut.script) != shortcut.script.size() || !file.commit()) {
        return file.errorString();
    }
    return {};
}

}  // namespace

int importCommand(const QString& path, int& argc, char** argv) {
    // Read and check the file before anything is shown.
    QFile input(path);
    if (!QFileInfo(path).isFile() || !input.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("cannot read %1.").arg(quoted(path)));
        return 1;
    }
    const auto sealed = unseal(input.read(kMaxFileBytes + 1));
    if (const QString* why = std::get_if<QString>(&sealed)) {
        say(QStringLiteral("%1 is not a shortcut Tarnwhistle can add: %2.")
                .arg(quoted(path), *why));
        return 1;
    }
    const Shortcut& shortcut = std::get<Shortcut>(sealed);

    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        say(QStringLiteral("cannot ask whether to add %1: there is no desktop to ask on.")
                .arg(quoted(shortcut.name)));
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Tarnwhistle"));
    QApplication::setDesktopFileName(QLatin1String(tw::paths::kAppId) +
                                     QStringLiteral(".shortcuts"));
    const bool replaces = QFileInfo::exists(shortcutsFolder() + u'/' + shortcut.name);
    if (!userAgrees(shortcut, replaces)) {
        say(QStringLiteral("the shortcut %1 was not added.").arg(quoted(shortcut.name)));
        return 1;
    }
    if (const QString why = install(shortcut); !why.isEmpty()) {
        say(QStringLiteral("could not add the shortcut %1: %2.").arg(quoted(shortcut.name), why));
        return 1;
    }
    return 0;
}

}  // namespace tw::shortcuts
