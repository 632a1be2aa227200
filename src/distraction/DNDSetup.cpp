#include "distraction/DNDSetup.h"

#include <QPointer>

#include "platform/DesktopOpener.h"
#include "preferences/AppPreferences.h"

namespace tw {

DNDSetup::DNDSetup(AppPreferences& preferences, ProcessLauncher& launcher, Scheduler& scheduler,
                   DesktopOpener& opener, QString resourcesFolder, QString tool, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      launcher_(launcher),
      scheduler_(scheduler),
      opener_(opener),
      resourcesFolder_(std::move(resourcesFolder)),
      tool_(std::move(tool)) {}

DNDSetup::~DNDSetup() = default;

void DNDSetup::prepareNextDNDShortcut() {
    if (preparing_ || step_ >= 2) return;
    const QString name = step_ == 0 ? onShortcutName() : offShortcutName();
    setPreparing(true);
    setError(std::nullopt);
    const int generation = generation_;
    const QPointer<DNDSetup> self(this);
    preparation_ = PreparedDNDShortcut::prepare(
        name, resourcesFolder_, tool_, prepareTimeoutSeconds, launcher_, scheduler_,
        [self, generation](PreparedDNDShortcut::Outcome outcome) {
            if (self) self->prepared(generation, std::move(outcome));
        });
}

void DNDSetup::prepared(int generation, PreparedDNDShortcut::Outcome outcome) {
    preparation_.reset();  // done with (it reports from the event loop, not from within itself)
    if (generation == generation_) {
        if (outcome.prepared) {
            if (opener_.open(outcome.prepared->file())) {
                importFiles_.push_back(std::move(outcome.prepared));
                Q_EMIT dndImportFilesChanged();
                setStep(step_ + 1);
            } else {
                setError(QStringLiteral(
                    "Could not open the shortcuts tool. Check that Tarnwhistle is installed, and "
                    "try again."));
            }
        } else if (outcome.error) {
            setError(outcome.error->message);
        }
    }
    // Under another generation the outcome is dropped here, and with it the prepared file's
    // folder.
    setPreparing(false);
}

void DNDSetup::useDNDShortcuts() {
    preferences_.setFocusStartShortcut(onShortcutName());
    preferences_.setFocusEndShortcut(offShortcutName());
    preferences_.setFocusShortcutError(std::nullopt);
    resetDNDSetup();
}

void DNDSetup::resetDNDSetup() {
    setGeneration(generation_ + 1);
    importFiles_.clear();  // deletes their folders
    Q_EMIT dndImportFilesChanged();
    setStep(0);
    setError(std::nullopt);
}

void DNDSetup::setStep(int step) {
    step_ = step;
    Q_EMIT dndSetupStepChanged(step);
}

void DNDSetup::setPreparing(bool preparing) {
    preparing_ = preparing;
    Q_EMIT preparingDNDChanged(preparing);
}

void DNDSetup::setError(const std::optional<QString>& error) {
    error_ = error;
    Q_EMIT dndSetupErrorChanged(error);
}

void DNDSetup::setGeneration(int generation) {
    generation_ = generation;
    Q_EMIT dndSetupGenerationChanged(generation);
}

}  // namespace tw
