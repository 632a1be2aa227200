#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "preferences/AddSiteResult.h"
#include "preferences/PreferenceTypes.h"

namespace tw {

class UserDefaults;

// The single store of the user's settings. Every setting is read once from the defaults when the
// store is created, with missing or malformed values repaired to their defaults, and is then a
// published property: a getter, a setter and a `<name>Changed(value)` signal emitted on every
// assignment. Setting a persisted property writes it to the defaults right after the signal.
// Nothing re-reads the defaults after creation; the values in memory are the truth.
class AppPreferences : public QObject {
    Q_OBJECT
public:
    explicit AppPreferences(UserDefaults& defaults, QObject* parent = nullptr);

    UserDefaults& defaults() const { return defaults_; }

    // Defaults keys of the settings.
    static constexpr const char* websiteBlockingEnabledKey = "websiteBlockingEnabled";
    static constexpr const char* blockedSitesKey = "blockedSites";
    static constexpr const char* focusStartShortcutKey = "focusStartShortcut";
    static constexpr const char* focusEndShortcutKey = "focusEndShortcut";
    static constexpr const char* chimeMutedKey = "chimeMuted";
    static constexpr const char* chimeVolumeKey = "chimeVolume";
    static constexpr const char* celebrationsEnabledKey = "celebrationsEnabled";
    static constexpr const char* phaseEndNotificationKey = "phaseEndNotification";
    static constexpr const char* testimonialPromptedKey = "testimonialPrompted";
    static constexpr const char* testimonialSubmittedKey = "testimonialSubmitted";
    static constexpr const char* displayChoiceKey = "displayChoice";
    static constexpr const char* islandStyleKey = "islandStyle";
    static constexpr const char* pillPositionsKey = "pillPositions";
    static constexpr const char* pillLockedKey = "pillLocked";
    static constexpr const char* pillHideUntilHoverKey = "pillHideUntilHover";
    static constexpr const char* menuBarIconEnabledKey = "menuBarIconEnabled";
    static constexpr const char* tickTickEnabledKey = "tickTickEnabled";
    static constexpr const char* tickTickCompleteOnFinishKey = "tickTickCompleteOnFinish";
    static constexpr const char* tickTickProjectIDKey = "tickTickProjectID";
    static constexpr const char* hiddenAppsKey = "hiddenApps";
    static constexpr const char* ntfyServerKey = "ntfyServer";

    static constexpr double defaultChimeVolume = 0.65;
    // The ntfy server that phone notifications go to unless the user names their own.
    static QString defaultNtfyServer() { return QStringLiteral("https://ntfy.sh"); }
    // The display choice that makes the island follow the screen under the pointer.
    static QString followDisplay() { return QStringLiteral("follow"); }

    // Published settings.
    bool websiteBlockingEnabled() const { return websiteBlockingEnabled_; }
    const QStringList& blockedSites() const { return blockedSites_; }
    const QString& focusStartShortcut() const { return focusStartShortcut_; }
    const QString& focusEndShortcut() const { return focusEndShortcut_; }
    const std::optional<QString>& focusShortcutError() const { return focusShortcutError_; }
    bool chimeMuted() const { return chimeMuted_; }
    double chimeVolume() const { return chimeVolume_; }
    bool celebrationsEnabled() const { return celebrationsEnabled_; }
    // A desktop notification when a phase runs out.
    bool phaseEndNotification() const { return phaseEndNotification_; }
    bool testimonialPrompted() const { return testimonialPrompted_; }
    bool testimonialSubmitted() const { return testimonialSubmitted_; }
    const QString& displayChoice() const { return displayChoice_; }
    IslandStyle islandStyle() const { return islandStyle_; }
    const PillPositions& pillPositions() const { return pillPositions_; }
    bool pillLocked() const { return pillLocked_; }
    bool pillHideUntilHover() const { return pillHideUntilHover_; }
    bool menuBarIconEnabled() const { return menuBarIconEnabled_; }
    bool tickTickEnabled() const { return tickTickEnabled_; }
    bool tickTickCompleteOnFinish() const { return tickTickCompleteOnFinish_; }
    const QString& tickTickProjectID() const { return tickTickProjectID_; }
    bool quickGuideExpanded() const { return quickGuideExpanded_; }
    const HiddenApps& hiddenApps() const { return hiddenApps_; }
    const ShortcutMap& shortcuts() const { return shortcuts_; }
    ShortcutConfiguration shortcut(ShortcutAction action) const;
    const std::optional<QString>& shortcutError() const { return shortcutError_; }
    const std::optional<ShortcutAction>& recordingShortcut() const { return recordingShortcut_; }
    // The ntfy server's base address, always a valid service address (see ServiceAddress.h).
    const QString& ntfyServer() const { return ntfyServer_; }

    // 0 when muted; otherwise the volume clamped to 0…1, or 0 when it is not a finite number.
    float effectiveChimeVolume() const;

    void setWebsiteBlockingEnabled(bool value);
    // Replaces the whole list as given; the add and remove operations below keep it clean.
    void setBlockedSites(const QStringList& value);
    void setFocusStartShortcut(const QString& value);
    void setFocusEndShortcut(const QString& value);
    void setFocusShortcutError(const std::optional<QString>& value);
    void setChimeMuted(bool value);
    // Stored as given; the clamp applies when reading at start and in effectiveChimeVolume().
    void setChimeVolume(double value);
    void setCelebrationsEnabled(bool value);
    void setPhaseEndNotification(bool value);
    void setTestimonialPrompted(bool value);
    void setTestimonialSubmitted(bool value);
    void setDisplayChoice(const QString& value);
    void setIslandStyle(IslandStyle value);
    void setPillPositions(const PillPositions& value);
    void setPillLocked(bool value);
    void setPillHideUntilHover(bool value);
    void setMenuBarIconEnabled(bool value);
    void setTickTickEnabled(bool value);
    void setTickTickCompleteOnFinish(bool value);
    void setTickTickProjectID(const QString& value);
    void setQuickGuideExpanded(bool value);
    void setHiddenApps(const HiddenApps& value);
    void setShortcutError(const std::optional<QString>& value);
    void setRecordingShortcut(const std::optional<ShortcutAction>& value);
    // Refuses (false, nothing changes) an address that is not a valid service address; otherwise
    // stores its normalised form.
    bool setNtfyServer(const QString& value);

    // Stores `position` for the display `key` and writes the whole map.
    void setPillPosition(const PillPosition& position, const QString& key);

    // Stores one action's shortcut and writes it under the action's key. An invalid configuration
    // is refused (false, nothing changes). Checks against the other actions and against what the
    // system has taken belong to the shortcut registration, which calls this once they pass.
    bool setShortcut(ShortcutAction action, const ShortcutConfiguration& config);

    // Hidden applications: an empty id is `invalid`, an id already listed `duplicate` (before the
    // limit), a list of 5 or more `limit(5)`; otherwise appended and written.
    AddSiteResult addHiddenApp(const QString& bundleID, const QString& name);
    // Removes every entry with exactly this id and writes the list.
    void removeHiddenApp(const QString& bundleID);

    // Blocked sites: parses `text`, refuses a stored form already listed (`duplicate`), then a
    // full list (`limit(10)`), otherwise appends the stored form and writes the list.
    AddSiteResult addBlockedSite(const QString& text);
    // Removes every entry exactly equal to `entry` and writes the list.
    void removeBlockedSite(const QString& entry);

Q_SIGNALS:
    void websiteBlockingEnabledChanged(bool value);
    void blockedSitesChanged(const QStringList& value);
    void focusStartShortcutChanged(const QString& value);
    void focusEndShortcutChanged(const QString& value);
    void focusShortcutErrorChanged(const std::optional<QString>& value);
    void chimeMutedChanged(bool value);
    void chimeVolumeChanged(double value);
    void celebrationsEnabledChanged(bool value);
    void phaseEndNotificationChanged(bool value);
    void testimonialPromptedChanged(bool value);
    void testimonialSubmittedChanged(bool value);
    void displayChoiceChanged(const QString& value);
    void islandStyleChanged(tw::IslandStyle value);
    void pillPositionsChanged(const tw::PillPositions& value);
    void pillLockedChanged(bool value);
    void pillHideUntilHoverChanged(bool value);
    void menuBarIconEnabledChanged(bool value);
    void tickTickEnabledChanged(bool value);
    void tickTickCompleteOnFinishChanged(bool value);
    void tickTickProjectIDChanged(const QString& value);
    void quickGuideExpandedChanged(bool value);
    void hiddenAppsChanged(const tw::HiddenApps& value);
    void shortcutsChanged(const tw::ShortcutMap& value);
    void shortcutErrorChanged(const std::optional<QString>& value);
    void recordingShortcutChanged(const std::optional<tw::ShortcutAction>& value);
    void ntfyServerChanged(const QString& value);

private:
    void writePillPositions();
    void writeHiddenApps();
    void writeBlockedSites();

    UserDefaults& defaults_;

    bool websiteBlockingEnabled_ = false;
    QStringList blockedSites_;
    QString focusStartShortcut_;
    QString focusEndShortcut_;
    std::optional<QString> focusShortcutError_;
    bool chimeMuted_ = false;
    double chimeVolume_ = defaultChimeVolume;
    bool celebrationsEnabled_ = true;
    bool phaseEndNotification_ = true;
    bool testimonialPrompted_ = false;
    bool testimonialSubmitted_ = false;
    QString displayChoice_;
    IslandStyle islandStyle_ = IslandStyle::automatic;
    PillPositions pillPositions_;
    bool pillLocked_ = false;
    bool pillHideUntilHover_ = false;
    bool menuBarIconEnabled_ = true;
    bool tickTickEnabled_ = false;
    bool tickTickCompleteOnFinish_ = false;
    QString tickTickProjectID_;
    bool quickGuideExpanded_ = true;
    HiddenApps hiddenApps_;
    ShortcutMap shortcuts_;
    std::optional<QString> shortcutError_;
    std::optional<ShortcutAction> recordingShortcut_;
    QString ntfyServer_ = defaultNtfyServer();
};

}  // namespace tw
