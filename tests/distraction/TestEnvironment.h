#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include "common/TestSupport.h"

namespace tw::test {

// Points TMPDIR (and with it QDir::tempPath and child processes) at a fresh folder for the life of
// a test, so that the temporary folders a test leaves behind can be counted.
class PrivateTemp {
public:
    QString path() const { return dir_.path(); }
    // The folders of prepared shortcuts in it.
    QStringList folders() const {
        return QDir(dir_.path())
            .entryList({QStringLiteral("Tarnwhistle-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    }

private:
    QTemporaryDir dir_;
    ScopedVariable tmpdir_{"TMPDIR", QFile::encodeName(dir_.path())};
};

// Runs xdotool; false when it fails or takes longer than 15 seconds.
inline bool xdotool(const QStringList& args, QString* out = nullptr) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    if (out) *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Whether the import question can be shown and answered here.
inline bool canAnswerQuestions() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") &&
           !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty();
}

// Answers the question of `tarnwhistle-shortcuts import` as a user would: finds it on the screen
// by its title, makes it active and presses `key` (alt+a for Add, Escape for Cancel).
inline bool answerImportQuestion(const QString& key) {
    QString windows;
    return xdotool(
               {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                QStringLiteral("--name"), QStringLiteral("^Add Shortcut")},
               &windows) &&
           xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                    windows.split(u'\n').first()}) &&
           xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), key});
}

}  // namespace tw::test
