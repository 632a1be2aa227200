#include "distraction/PreparedDNDShortcut.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <cerrno>
#include <cstring>

#include "distraction/ProcessTimeLimit.h"
#include "platform/ChildProcess.h"
#include "platform/Scheduler.h"
#include "support/Uuid.h"

namespace tw {

namespace {

void removeFolder(const QString& folder) {
    if (!folder.isEmpty()) QDir(folder).removeRecursively();
}

}  // namespace

DNDPrepareError DNDPrepareError::withCode(Code code, const QString& underlying) {
    QString message;
    switch (code) {
        case Code::folder:
            message = QStringLiteral("Could not create a temporary folder for the DND shortcut: ") +
                      underlying + u'.';
            break;
        case Code::missingDefinition:
            message = QStringLiteral("The bundled DND shortcut is missing. Reinstall Tarnwhistle.");
            break;
        case Code::signFailed:
            message = QStringLiteral(
                "Could not prepare the DND shortcut. Check that there is free disk space, and try "
                "again.");
            break;
        case Code::toolNotStarted:
            message = QStringLiteral(
                "Could not start the shortcuts tool. Check that tarnwhistle-shortcuts is installed "
                "beside Tarnwhistle, and try again.");
            break;
        case Code::timedOut:
            message = QStringLiteral(
                "DND shortcut setup timed out. Try again when the computer is less busy.");
            break;
    }
    return DNDPrepareError{code, message, underlying};
}

PreparedDNDShortcut::PreparedDNDShortcut(QString file) : file_(std::move(file)) {}

PreparedDNDShortcut::~PreparedDNDShortcut() {
    removeFolder(QFileInfo(file_).absolutePath());
}

std::unique_ptr<DNDPreparation> PreparedDNDShortcut::prepare(
    const QString& name, const QString& resourcesFolder, const QString& tool, double timeoutSeconds,
    ProcessLauncher& launcher, Scheduler& scheduler, Done done) {
    std::unique_ptr<DNDPreparation> preparation(
        new DNDPreparation(launcher, scheduler, std::move(done)));
    preparation->start(name, resourcesFolder, tool, timeoutSeconds);
    return preparation;
}

DNDPreparation::DNDPreparation(ProcessLauncher& launcher, Scheduler& scheduler,
                               PreparedDNDShortcut::Done done)
    : launcher_(launcher), scheduler_(scheduler), done_(std::move(done)) {}

DNDPreparation::~DNDPreparation() {
    limit_.reset();
    process_.reset();  // a tool still running is killed
    removeFolder(folder_);
}

void DNDPreparation::start(const QString& name, const QString& resourcesFolder, const QString& tool,
                           double timeoutSeconds) {
    const QString definition =
        resourcesFolder + QStringLiteral("/Shortcuts/") + name + QStringLiteral(".sh");
    if (resourcesFolder.isEmpty() || name.isEmpty() || name.contains(u'/') ||
        !QFileInfo(definition).isFile()) {
        fail(DNDPrepareError::withCode(DNDPrepareError::Code::missingDefinition));
        return;
    }

    // A folder of its own that only this user can enter, under a name nobody can guess.
    QString temp = QDir::tempPath();  // empty when TMPDIR names a folder that does not exist
    if (temp.isEmpty()) temp = QDir::cleanPath(qEnvironmentVariable("TMPDIR"));
    const QString folder =
        temp + u'/' + QLatin1String(PreparedDNDShortcut::folderPrefix) + uuidText(newUuid());
    QDir().mkpath(temp);
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
        fail(DNDPrepareError::withCode(DNDPrepareError::Code::folder,
                                       QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    folder_ = folder;
    output_ = folder + u'/' + name + QStringLiteral(".tarnwhistle-shortcut");

    process_ = launcher_.start(
        tool, {QStringLiteral("sign"), QStringLiteral("--mode"), QStringLiteral("anyone"),
               QStringLiteral("--input"), definition, QStringLiteral("--output"), output_});
    ChildProcess* process = process_.get();
    connect(process, &ChildProcess::finished, this, [this, process](int status) {
        if (process != process_.get()) return;
        if (limit_->expired()) {
            fail(DNDPrepareError::withCode(DNDPrepareError::Code::timedOut));
        } else if (status == 0 && QFileInfo(output_).isFile()) {
            folder_.clear();  // the prepared shortcut owns it now
            finish({std::make_unique<PreparedDNDShortcut>(output_), std::nullopt});
        } else {
            fail(DNDPrepareError::withCode(DNDPrepareError::Code::signFailed));
        }
    });
    connect(process, &ChildProcess::failedToStart, this, [this, process](const QString& reason) {
        if (process != process_.get()) return;
        fail(DNDPrepareError::withCode(DNDPrepareError::Code::toolNotStarted, reason));
    });
    limit_ = std::make_unique<ProcessTimeLimit>(*process, scheduler_, timeoutSeconds);
}

void DNDPreparation::fail(DNDPrepareError error) {
    removeFolder(folder_);
    folder_.clear();
    finish({nullptr, std::move(error)});
}

void DNDPreparation::finish(PreparedDNDShortcut::Outcome outcome) {
    limit_.reset();
    // Released through the event loop: this may run inside the process's own signal.
    if (process_) process_.release()->deleteLater();
    // Delivered from the event loop by the application, so that whoever receives it may let go
    // of this preparation there. A preparation destroyed before then never reports; what it
    // prepared is destroyed with the undelivered outcome, deleting its folder.
    auto shared = std::make_shared<PreparedDNDShortcut::Outcome>(std::move(outcome));
    const QPointer<DNDPreparation> self(this);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, shared] {
            if (!self || !self->done_) return;
            PreparedDNDShortcut::Done done = std::move(self->done_);
            self->done_ = nullptr;
            done(std::move(*shared));
        },
        Qt::QueuedConnection);
}

}  // namespace tw
