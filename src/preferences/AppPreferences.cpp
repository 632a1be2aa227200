#include "preferences/AppPreferences.h"

#include <QCborArray>
#include <QCborMap>
#include <algorithm>
#include <cmath>

#include "platform/UserDefaults.h"
#include "preferences/ServiceAddress.h"
#include "preferences/SiteRule.h"
#include "support/Json.h"

namespace tw {

namespace {

QString key(const char* name) {
    return QString::fromLatin1(name);
}

// A JSON value stored as data; nothing when the data is absent or does not parse.
std::optional<QCborValue> readJson(const UserDefaults& defaults, const QString& key) {
    const auto bytes = defaults.data(key);
    if (!bytes) return std::nullopt;
    return json::parse(*bytes);
}

// True unless a stored boolean says otherwise.
bool readTrueByDefault(const UserDefaults& defaults, const QString& key) {
    const QCborValue v = defaults.object(key);
    return v.isBool() ? v.toBool() : true;
}

double readChimeVolume(const UserDefaults& defaults) {
    const QCborValue v = defaults.object(key(AppPreferences::chimeVolumeKey));
    double volume = 0;
    if (v.isInteger()) {
        volume = double(v.toInteger());
    } else if (v.isDouble()) {
        volume = v.toDouble();
    } else {
        return AppPreferences::defaultChimeVolume;
    }
    if (!std::isfinite(volume)) return AppPreferences::defaultChimeVolume;
    return std::clamp(volume, 0.0, 1.0);
}

PillPositions readPillPositions(const UserDefaults& defaults) {
    const auto value = readJson(defaults, key(AppPreferences::pillPositionsKey));
    if (!value || !value->isMap()) return {};
    PillPositions out;
    const QCborMap map = value->toMap();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const auto position = PillPosition::fromJson(it.value());
        if (!it.key().isString() || !position) return {};
        out.insert(it.key().toString(), *position);
    }
    return out;
}

HiddenApps readHiddenApps(const UserDefaults& defaults) {
    const auto value = readJson(defaults, key(AppPreferences::hiddenAppsKey));
    if (!value || !value->isArray()) return {};
    HiddenApps decoded;
    for (const QCborValue& element : value->toArray()) {
        const auto app = HiddenApp::fromJson(element);
        if (!app) return {};
        decoded.append(*app);
    }
    HiddenApps out;
    for (const HiddenApp& app : decoded) {
        if (app.bundleID.isEmpty()) continue;
        const bool seen = std::any_of(out.cbegin(), out.cend(), [&](const HiddenApp& kept) {
            return kept.bundleID == app.bundleID;
        });
        if (!seen) out.append(app);
    }
    return out;
}

ShortcutConfiguration readShortcut(const UserDefaults& defaults, ShortcutAction action) {
    if (const auto value = readJson(defaults, shortcutDefaultsKey(action))) {
        const auto config = ShortcutConfiguration::fromJson(*value);
        if (config && config->isValid()) return *config;
    }
    return defaultShortcut(action);
}

}  // namespace

AppPreferences::AppPreferences(UserDefaults& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults) {
    websiteBlockingEnabled_ = defaults_.boolValue(key(websiteBlockingEnabledKey));
    blockedSites_ =
        cleanedBlockedSites(defaults_.stringArray(key(blockedSitesKey)).value_or(QStringList{}));
    focusStartShortcut_ = defaults_.string(key(focusStartShortcutKey)).value_or(QString());
    focusEndShortcut_ = defaults_.string(key(focusEndShortcutKey)).value_or(QString());
    chimeMuted_ = defaults_.boolValue(key(chimeMutedKey));
    chimeVolume_ = readChimeVolume(defaults_);
    celebrationsEnabled_ = readTrueByDefault(defaults_, key(celebrationsEnabledKey));
    phaseEndNotification_ = readTrueByDefault(defaults_, key(phaseEndNotificationKey));
    testimonialPrompted_ = defaults_.boolValue(key(testimonialPromptedKey));
    testimonialSubmitted_ = defaults_.boolValue(key(testimonialSubmittedKey));
    displayChoice_ = defaults_.string(key(displayChoiceKey)).value_or(QString());
    if (displayChoice_.isEmpty()) displayChoice_ = followDisplay();
    islandStyle_ = islandStyleFromRaw(defaults_.string(key(islandStyleKey)).value_or(QString()))
                       .value_or(IslandStyle::automatic);
    pillPositions_ = readPillPositions(defaults_);
    pillLocked_ = defaults_.boolValue(key(pillLockedKey));
    pillHideUntilHover_ = defaults_.boolValue(key(pillHideUntilHoverKey));
    menuBarIconEnabled_ = readTrueByDefault(defaults_, key(menuBarIconEnabledKey));
    tickTickEnabled_ = defaults_.boolValue(key(tickTickEnabledKey));
    tickTickCompleteOnFinish_ = defaults_.boolValue(key(tickTickCompleteOnFinishKey));
    tickTickProjectID_ = defaults_.string(key(tickTickProjectIDKey)).value_or(QString());
    hiddenApps_ = readHiddenApps(defaults_);
    if (const auto server =
            parseServiceAddress(defaults_.string(key(ntfyServerKey)).value_or(QString()))) {
        ntfyServer_ = server->toString();
    }
    for (ShortcutAction action : allShortcutActions) {
        shortcuts_.insert(action, readShortcut(defaults_, action));
    }
}

ShortcutConfiguration AppPreferences::shortcut(ShortcutAction action) const {
    return shortcuts_.value(action, defaultShortcut(action));
}

float AppPreferences::effectiveChimeVolume() const {
    if (chimeMuted_ || !std::isfinite(chimeVolume_)) return 0.0f;
    return float(std::clamp(chimeVolume_, 0.0, 1.0));
}

// Each setter publishes first, then mirrors the value into the defaults.
void AppPreferences::setWebsiteBlockingEnabled(bool value) {
    websiteBlockingEnabled_ = value;
    Q_EMIT websiteBlockingEnabledChanged(value);
    defaults_.setBool(key(websiteBlockingEnabledKey), value);
}

void AppPreferences::setBlockedSites(const QStringList& value) {
    blockedSites_ = value;
    Q_EMIT blockedSitesChanged(blockedSites_);
    writeBlockedSites();
}

void AppPreferences::setFocusStartShortcut(const QString& value) {
    focusStartShortcut_ = value;
    Q_EMIT focusStartShortcutChanged(value);
    defaults_.setString(key(focusStartShortcutKey), value);
}

void AppPreferences::setFocusEndShortcut(const QString& value) {
    focusEndShortcut_ = value;
    Q_EMIT focusEndShortcutChanged(value);
    defaults_.setString(key(focusEndShortcutKey), value);
}

void AppPreferences::setFocusShortcutError(const std::optional<QString>& value) {
    focusShortcutError_ = value;
    Q_EMIT focusShortcutErrorChanged(value);
}

void AppPreferences::setChimeMuted(bool value) {
    chimeMuted_ = value;
    Q_EMIT chimeMutedChanged(value);
    defaults_.setBool(key(chimeMutedKey), value);
}

void AppPreferences::setChimeVolume(double value) {
    chimeVolume_ = value;
    Q_EMIT chimeVolumeChanged(value);
    defaults_.setDouble(key(chimeVolumeKey), value);
}

void AppPreferences::setCelebrationsEnabled(bool value) {
    celebrationsEnabled_ = value;
    Q_EMIT celebrationsEnabledChanged(value);
    defaults_.setBool(key(celebrationsEnabledKey), value);
}

void AppPreferences::setPhaseEndNotification(bool value) {
    phaseEndNotification_ = value;
    Q_EMIT phaseEndNotificationChanged(value);
    defaults_.setBool(key(phaseEndNotificationKey), value);
}

void AppPreferences::setTestimonialPrompted(bool value) {
    testimonialPrompted_ = value;
    Q_EMIT testimonialPromptedChanged(value);
    defaults_.setBool(key(testimonialPromptedKey), value);
}

void AppPreferences::setTestimonialSubmitted(bool value) {
    testimonialSubmitted_ = value;
    Q_EMIT testimonialSubmittedChanged(value);
    defaults_.setBool(key(testimonialSubmittedKey), value);
}

void AppPreferences::setDisplayChoice(const QString& value) {
    displayChoice_ = value;
    Q_EMIT displayChoiceChanged(value);
    defaults_.setString(key(displayChoiceKey), value);
}

void AppPreferences::setIslandStyle(IslandStyle value) {
    islandStyle_ = value;
    Q_EMIT islandStyleChanged(value);
    defaults_.setString(key(islandStyleKey), rawValue(value));
}

void AppPreferences::setPillPositions(const PillPositions& value) {
    pillPositions_ = value;
    Q_EMIT pillPositionsChanged(pillPositions_);
    writePillPositions();
}

void AppPreferences::setPillLocked(bool value) {
    pillLocked_ = value;
    Q_EMIT pillLockedChanged(value);
    defaults_.setBool(key(pillLockedKey), value);
}

void AppPreferences::setPillHideUntilHover(bool value) {
    pillHideUntilHover_ = value;
    Q_EMIT pillHideUntilHoverChanged(value);
    defaults_.setBool(key(pillHideUntilHoverKey), value);
}

void AppPreferences::setMenuBarIconEnabled(bool value) {
    menuBarIconEnabled_ = value;
    Q_EMIT menuBarIconEnabledChanged(value);
    defaults_.setBool(key(menuBarIconEnabledKey), value);
}

void AppPreferences::setTickTickEnabled(bool value) {
    tickTickEnabled_ = value;
    Q_EMIT tickTickEnabledChanged(value);
    defaults_.setBool(key(tickTickEnabledKey), value);
}

void AppPreferences::setTickTickCompleteOnFinish(bool value) {
    tickTickCompleteOnFinish_ = value;
    Q_EMIT tickTickCompleteOnFinishChanged(value);
    defaults_.setBool(key(tickTickCompleteOnFinishKey), value);
}

void AppPreferences::setTickTickProjectID(const QString& value) {
    tickTickProjectID_ = value;
    Q_EMIT tickTickProjectIDChanged(value);
    defaults_.setString(key(tickTickProjectIDKey), value);
}

void AppPreferences::setQuickGuideExpanded(bool value) {
    quickGuideExpanded_ = value;
    Q_EMIT quickGuideExpandedChanged(value);
}

void AppPreferences::setHiddenApps(const HiddenApps& value) {
    hiddenApps_ = value;
    Q_EMIT hiddenAppsChanged(hiddenApps_);
    writeHiddenApps();
}

void AppPreferences::setShortcutError(const std::optional<QString>& value) {
    shortcutError_ = value;
    Q_EMIT shortcutErrorChanged(value);
}

void AppPreferences::setRecordingShortcut(const std::optional<ShortcutAction>& value) {
    recordingShortcut_ = value;
    Q_EMIT recordingShortcutChanged(value);
}

bool AppPreferences::setNtfyServer(const QString& value) {
    const auto server = parseServiceAddress(value);
    if (!server) return false;
    ntfyServer_ = server->toString();
    Q_EMIT ntfyServerChanged(ntfyServer_);
    defaults_.setString(key(ntfyServerKey), ntfyServer_);
    return true;
}

void AppPreferences::setPillPosition(const PillPosition& position, const QString& displayKey) {
    pillPositions_.insert(displayKey, position);
    Q_EMIT pillPositionsChanged(pillPositions_);
    writePillPositions();
}

bool AppPreferences::setShortcut(ShortcutAction action, const ShortcutConfiguration& config) {
    if (!config.isValid()) return false;
    // The checks against the other actions' shortcuts and against combinations the desktop has
    // already taken are made by the shortcut registration before it stores the result here.
    shortcuts_.insert(action, config);
    Q_EMIT shortcutsChanged(shortcuts_);
    defaults_.setData(shortcutDefaultsKey(action), json::write(config.toJson()));
    return true;
}

AddSiteResult AppPreferences::addHiddenApp(const QString& bundleID, const QString& name) {
    if (bundleID.isEmpty()) return AddSiteResult::invalid();
    for (const HiddenApp& app : hiddenApps_) {
        if (app.bundleID == bundleID) return AddSiteResult::duplicate();
    }
    if (hiddenApps_.size() >= hiddenAppLimit) return AddSiteResult::limit(hiddenAppLimit);
    HiddenApps next = hiddenApps_;
    next.append(HiddenApp{bundleID, name});
    setHiddenApps(next);
    return AddSiteResult::added();
}

void AppPreferences::removeHiddenApp(const QString& bundleID) {
    HiddenApps next = hiddenApps_;
    next.removeIf([&](const HiddenApp& app) { return app.bundleID == bundleID; });
    setHiddenApps(next);
}

AddSiteResult AppPreferences::addBlockedSite(const QString& text) {
    const auto rule = SiteRule::parse(text);
    if (!rule) return AddSiteResult::invalid();
    const QString entry = rule->storedForm();
    if (blockedSites_.contains(entry)) return AddSiteResult::duplicate();
    if (blockedSites_.size() >= blockedSiteLimit) return AddSiteResult::limit(blockedSiteLimit);
    QStringList next = blockedSites_;
    next.append(entry);
    setBlockedSites(next);
    return AddSiteResult::added();
}

void AppPreferences::removeBlockedSite(const QString& entry) {
    QStringList next = blockedSites_;
    next.removeAll(entry);
    setBlockedSites(next);
}

void AppPreferences::writePillPositions() {
    QCborMap map;
    for (auto it = pillPositions_.constBegin(); it != pillPositions_.constEnd(); ++it) {
        // JSON has no form for an infinite or undefined offset: such a map cannot be written.
        if (!std::isfinite(it.value().dx) || !std::isfinite(it.value().dy)) {
            defaults_.remove(key(pillPositionsKey));
            return;
        }
        map.insert(it.key(), it.value().toJson());
    }
    defaults_.setData(key(pillPositionsKey), json::write(map));
}

void AppPreferences::writeHiddenApps() {
    QCborArray array;
    for (const HiddenApp& app : hiddenApps_) array.append(app.toJson());
    defaults_.setData(key(hiddenAppsKey), json::write(array));
}

void AppPreferences::writeBlockedSites() {
    defaults_.setStringArray(key(blockedSitesKey), blockedSites_);
}

}  // namespace tw
