#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "distraction/PreparedDNDShortcut.h"

namespace tw {

class AppPreferences;
class DesktopOpener;
class ProcessLauncher;
class Scheduler;

// The guided set-up of the two shipped Do Not Disturb shortcuts: each is prepared as an
// importable file and opened, so that the shortcuts tool asks the user to add it ("Tarnwhistle DND
// On" first, then "Tarnwhistle DND Off"); then both names go into the focus-start and focus-end
// preferences. The settings window binds its buttons to the three operations and shows the
// published state.
class DNDSetup final : public QObject {
    Q_OBJECT

public:
    // `resourcesFolder` holds the definitions (Shortcuts/<name>.sh); `tool` is
    // tarnwhistle-shortcuts.
    DNDSetup(AppPreferences& preferences, ProcessLauncher& launcher, Scheduler& scheduler,
             DesktopOpener& opener, QString resourcesFolder, QString tool,
             QObject* parent = nullptr);
    ~DNDSetup() override;

    static QString onShortcutName() { return QStringLiteral("Tarnwhistle DND On"); }
    static QString offShortcutName() { return QStringLiteral("Tarnwhistle DND Off"); }
    static constexpr double prepareTimeoutSeconds = 30;

    // Published state.
    // 0 nothing opened yet; 1 the "on" shortcut was opened for import; 2 the "off" one too.
    int dndSetupStep() const { return step_; }
    // A preparation is under way.
    bool preparingDND() const { return preparing_; }
    // The last set-up failure, one sentence.
    const std::optional<QString>& dndSetupError() const { return error_; }
    // The files opened so far; kept while the shortcuts tool may still be reading them.
    const std::vector<std::unique_ptr<PreparedDNDShortcut>>& dndImportFiles() const {
        return importFiles_;
    }
    // Incremented by every reset; a preparation that finishes under another generation is
    // dropped.
    int dndSetupGeneration() const { return generation_; }

    // Prepares and opens the next shortcut (nothing while one is being prepared or both are
    // done).
    void prepareNextDNDShortcut();
    // Puts the two shortcuts into the preferences and starts over.
    void useDNDShortcuts();
    // Starts over: the prepared files are deleted; a preparation under way finishes unheard.
    void resetDNDSetup();

Q_SIGNALS:
    void dndSetupStepChanged(int step);
    void preparingDNDChanged(bool preparing);
    void dndSetupErrorChanged(const std::optional<QString>& error);
    void dndImportFilesChanged();
    void dndSetupGenerationChanged(int generation);

private:
    void prepared(int generation, PreparedDNDShortcut::Outcome outcome);
    void setStep(int step);
    void setPreparing(bool preparing);
    void setError(const std::optional<QString>& error);
    void setGeneration(int generation);

    AppPreferences& preferences_;
    ProcessLauncher& launcher_;
    Scheduler& scheduler_;
    DesktopOpener& opener_;
    QString resourcesFolder_;
    QString tool_;
    int step_ = 0;
    bool preparing_ = false;
    std::optional<QString> error_;
    std::vector<std::unique_ptr<PreparedDNDShortcut>> importFiles_;
    int generation_ = 0;
    std::unique_ptr<DNDPreparation> preparation_;
};

}  // namespace tw
