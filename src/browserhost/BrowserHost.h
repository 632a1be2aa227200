#pragma once

#include <QFileSystemWatcher>
#include <QLocalSocket>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include "browserlink/Frames.h"

namespace tw::browserhost {

// Relays between the browser extension (native messaging on two file descriptors) and the running
// program (a local socket). It tells the program which browser it serves and whether that
// browser's window has the focus; it dials the program again whenever the program goes away or is
// not running yet, and quits when the browser closes its input.
class BrowserHost : public QObject {
    Q_OBJECT

public:
    // `extension`: the extension's origin or id; `browser`: the browser's executable.
    BrowserHost(QString extension, QString browser, QString socketPath, int input, int output,
                QObject* parent = nullptr);

    void start();

private:
    void readInput();
    void fromExtension(const QByteArray& message);
    bool toExtension(const QByteArray& message);
    void dial();
    void dialLater();
    void watchForProgram();
    void connected();
    void readProgram();
    void lost();
    void quit(int status);

    QString extension_;
    QString browser_;
    QString socketPath_;
    int output_;
    QSocketNotifier input_;
    browserlink::FrameReader extensionFrames_;
    browserlink::FrameReader programFrames_;
    QLocalSocket program_;
    bool ready_ = false;  // connected to a program of this user and greeted
    bool focused_ = false;
    QTimer redial_;
    int redialMs_ = 0;
    QFileSystemWatcher watcher_;
};

}  // namespace tw::browserhost
