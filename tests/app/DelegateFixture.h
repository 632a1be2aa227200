#pragma once

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QTemporaryDir>
#include <memory>

#include "app/AppDelegate.h"
#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakeNotifications.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/fake/FakeSound.h"
#include "platform/fake/FakeSystemEvents.h"
#include "platform/linux/MessageBoxConfirmation.h"
#include "timer/DriftLog.h"

namespace tw::test {

// An application delegate in process, over fake time, system events, hot keys and chime, with
// its defaults suites and drift log in a temporary folder; no island unless `makeIsland` is set
// before it is made.
class DelegateFixture : public ::testing::Test {
protected:
    ScopedTimeZone zone{"UTC"};
    QTemporaryDir dir;
    FakeScheduler scheduler{at("UTC", 2025, 3, 7, 10, 0)};
    UserDefaults standard{dir.filePath(QStringLiteral("dev.tarnwhistle.app.json"))};
    UserDefaults appGroup{dir.filePath(QStringLiteral("group.dev.tarnwhistle.app.json"))};
    FakeSystemEvents events;
    DriftLog drifts{dir.filePath(QStringLiteral("drift-log.json")), scheduler.now()};
    FakeSound::Log chime;
    FakeHotKeys hotKeys;
    FakeNotifications notifications;
    MessageBoxConfirmation confirmation;
    int terminations = 0;
    decltype(AppEnvironment::makeIsland) makeIsland;
    ProcessLauncher* processes = nullptr;  // none: no focus shortcut runs
    QString shortcutsTool;
    RunningApplications* applications = nullptr;  // none: nothing hidden, no browser in front
    BrowserAutomation* browsers = nullptr;        // none: no site blocker
    DesktopOpener* opener = nullptr;              // none: no Do Not Disturb set-up
    // The keyring's store for a service; none: no website or TickTick client.
    std::function<std::unique_ptr<CredentialStore>(const QString&)> credentials;
    std::unique_ptr<AppDelegate> delegate;

    AppDelegate& make(QDBusConnection bus = QDBusConnection(QStringLiteral("no-bus"))) {
        delegate.reset();
        delegate = std::make_unique<AppDelegate>(AppEnvironment{
            standard,
            appGroup,
            scheduler,
            events,
            drifts,
            hotKeys,
            notifications,
            [this] { return std::make_unique<FakeSound>(&chime); },
            [this] { ++terminations; },
            bus,
            makeIsland,
            &confirmation,
            processes,
            shortcutsTool,
            applications,
            browsers,
            {},
            opener,
            QStringLiteral(TW_SOURCE_DIR "/data"),
            std::nullopt,  // no website configured
            credentials,
            nullptr,
            nullptr,
            QUrl(),  // the public TickTick API (no keyring: no client)
        });
        return *delegate;
    }
    AppDelegate& launch(QDBusConnection bus = QDBusConnection(QStringLiteral("no-bus"))) {
        make(bus).applicationDidFinishLaunching();
        return *delegate;
    }
};

}  // namespace tw::test
