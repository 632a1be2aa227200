#include "app/LinuxDesktop.h"

#include <QGuiApplication>

#include "island/IslandController.h"
#include "island/IslandPanel.h"
#include "platform/linux/DesktopReducedMotion.h"
#include "platform/linux/DesktopTrayHost.h"
#include "platform/linux/FreedesktopNotifications.h"
#include "platform/linux/MessageBoxConfirmation.h"
#include "platform/linux/PortalHotKeys.h"
#include "platform/linux/UnavailableHotKeys.h"
#include "platform/linux/X11CompositorWatch.h"
#include "platform/linux/X11HotKeys.h"
#include "platform/linux/X11PointerMonitor.h"
#include "platform/linux/X11WindowHints.h"
#include "shell/GlobalShortcut.h"

namespace tw {

std::unique_ptr<HotKeys> createSystemHotKeys(QObject* parent) {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        if (auto x11 = X11HotKeys::create(parent)) return x11;
    } else {
        // Wayland (or no window system): the desktop's GlobalShortcuts portal when it offers
        // one, the shortcuts named after their actions.
        PortalHotKeys::Options options;
        options.describe = [](const HotKeyID& id) {
            for (ShortcutAction action : allShortcutActions) {
                if (GlobalShortcuts::hotKeyID(action) != id.id) continue;
                return PortalHotKeys::ShortcutInfo{
                    rawValue(action), shortcutTitle(action).remove(QStringLiteral(" shortcut"))};
            }
            return PortalHotKeys::ShortcutInfo{};
        };
        if (auto portal = PortalHotKeys::create(std::move(options), parent)) return portal;
    }
    // Every registration answers unavailable, which the settings show as the unavailable
    // message.
    return std::make_unique<UnavailableHotKeys>(parent);
}

decltype(AppEnvironment::makeIsland) desktopIslandFactory() {
    return [](TimerModel& model, AppPreferences& preferences, Scheduler& scheduler,
              const DriftLog* drifts, TestimonialStore* testimonials, QObject* parent) {
        DesktopIslandParts parts;
        parts.pointer = std::make_unique<X11PointerMonitor>();
        parts.reducedMotion = std::make_unique<DesktopReducedMotion>();
        parts.compositor = X11CompositorWatch::create();
        parts.windowHints = std::make_shared<X11WindowHints>();
        parts.trayHost = std::make_unique<DesktopTrayHost>();
        return makeDesktopIsland(model, preferences, scheduler, drifts, testimonials,
                                 std::move(parts), parent);
    };
}

std::unique_ptr<Notifications> createNotifications(QObject* parent) {
    return std::make_unique<FreedesktopNotifications>(QDBusConnection::sessionBus(), parent);
}

std::unique_ptr<Confirmation> createConfirmation() {
    return std::make_unique<MessageBoxConfirmation>();
}

}  // namespace tw
