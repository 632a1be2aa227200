#pragma once

// The Linux desktop's objects behind the platform interfaces, chosen and built in this one place:
// which hot-key backend runs (an X11 grab or the desktop's portal), how the island is put on the
// screen, how the user is asked and told.

#include <QObject>
#include <memory>

#include "app/AppDelegate.h"

namespace tw {

class Confirmation;
class HotKeys;
class Notifications;

// The hot keys of this desktop: X11 when Qt runs on X (also under XWayland); otherwise the
// desktop's GlobalShortcuts portal when the session bus offers it; otherwise a backend that
// refuses every registration as unavailable.
std::unique_ptr<HotKeys> createSystemHotKeys(QObject* parent = nullptr);

// Builds the island on this desktop: the X11 pointer monitor, the desktop's reduce-motion
// setting, the compositor watch and the window-manager hints.
decltype(AppEnvironment::makeIsland) desktopIslandFactory();

// The desktop's notifications: the freedesktop.org notification service on the session bus.
std::unique_ptr<Notifications> createNotifications(QObject* parent = nullptr);

// The quit question as a message box.
std::unique_ptr<Confirmation> createConfirmation();

}  // namespace tw
