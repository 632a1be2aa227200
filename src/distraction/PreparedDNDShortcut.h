#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "distraction/ProcessTimeLimit.h"

namespace tw {

class ChildProcess;
class DNDPreparation;
class ProcessLauncher;
class Scheduler;

// Why a Do Not Disturb shortcut could not be prepared for import, with the sentence the user
// sees. The codes are those the set-up has always reported; `folder` is the file system's own
// failure to make the temporary folder.
struct DNDPrepareError {
    enum class Code {
        folder = 0,
        missingDefinition = 1,  // the shipped definition is not in the resources folder
        signFailed = 2,         // the tool ran but made no importable file
        toolNotStarted = 3,     // the tool could not be started
        timedOut = 4,           // the tool took too long and was stopped
    };

    Code code;
    QString message;     // one sentence for the user
    QString underlying;  // why the tool did not start (toolNotStarted), or the file system's error

    static DNDPrepareError withCode(Code code, const QString& underlying = {});
    bool operator==(const DNDPrepareError&) const = default;
};

// One importable shortcut file, alone in a private temporary folder. The folder goes with the
// object: destroying it deletes the folder (a failure to delete is ignored).
class PreparedDNDShortcut {
public:
    explicit PreparedDNDShortcut(QString file);
    ~PreparedDNDShortcut();
    PreparedDNDShortcut(const PreparedDNDShortcut&) = delete;
    PreparedDNDShortcut& operator=(const PreparedDNDShortcut&) = delete;

    // The importable file.
    const QString& file() const { return file_; }

    struct Outcome {
        std::unique_ptr<PreparedDNDShortcut> prepared;  // set on success
        std::optional<DNDPrepareError> error;           // set on failure
    };
    using Done = std::function<void(Outcome)>;

    // Prepares the shortcut `name` from its definition "Shortcuts/<name>.sh" in `resourcesFolder`:
    // `tool sign --mode anyone --input <definition> --output <folder>/<name>.tarnwhistle-shortcut`
    // in a new folder "Tarnwhistle-<UUID>" in the temporary directory. After `timeoutSeconds` the
    // tool is asked to stop (SIGTERM), and killed 0.2 second later if it still runs. `done` is
    // called once, from the event loop, unless the returned preparation is destroyed first, which
    // stops the tool and deletes the folder. A failure deletes the folder before it is reported.
    static std::unique_ptr<DNDPreparation> prepare(const QString& name,
                                                   const QString& resourcesFolder,
                                                   const QString& tool, double timeoutSeconds,
                                                   ProcessLauncher& launcher, Scheduler& scheduler,
                                                   Done done);

    static constexpr double killGraceSeconds = ProcessTimeLimit::killGraceSeconds;
    static constexpr char folderPrefix[] = "Tarnwhistle-";

private:
    QString file_;
};

// A preparation under way; see PreparedDNDShortcut::prepare.
class DNDPreparation final : public QObject {
public:
    ~DNDPreparation() override;

private:
    friend class PreparedDNDShortcut;
    DNDPreparation(ProcessLauncher& launcher, Scheduler& scheduler, PreparedDNDShortcut::Done done);

    void start(const QString& name, const QString& resourcesFolder, const QString& tool,
               double timeoutSeconds);
    void finish(PreparedDNDShortcut::Outcome outcome);
    void fail(DNDPrepareError error);

    ProcessLauncher& launcher_;
    Scheduler& scheduler_;
    PreparedDNDShortcut::Done done_;
    QString folder_;  // the temporary folder, while it is this preparation's to delete
    QString output_;
    std::unique_ptr<ChildProcess> process_;
    std::unique_ptr<ProcessTimeLimit> limit_;  // goes before the process
};

}  // namespace tw
