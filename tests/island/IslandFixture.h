#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <memory>

#include "common/TestSupport.h"
#include "island/IslandController.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakePointerMonitor.h"
#include "platform/fake/FakeReducedMotion.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/fake/FakeSound.h"
#include "platform/fake/FakeTrayHost.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw::test {

// An island window that records what the controller asks of it.
class FakeIslandWindow final : public IslandWindow {
public:
    RectF frame_;
    bool visible = false;
    bool key = false;
    bool ignoresMouse = false;
    double alpha_ = 1;
    int cursorDepth = 0;
    SizeF hostSize;
    QList<QuickMenuItem> menu;
    QStringList announcements;

    RectF frame() const override { return frame_; }
    void setFrame(const RectF& f, bool) override { frame_ = f; }
    void setFrameOrigin(PointF o) override {
        frame_.x = o.x;
        frame_.y = o.y;
    }
    void setHostSize(SizeF s) override { hostSize = s; }
    void orderFront() override { visible = true; }
    void orderOut() override { visible = false; }
    void makeKey() override { key = true; }
    void resignKey() override { key = false; }
    void setIgnoresMouseEvents(bool ignores) override { ignoresMouse = ignores; }
    double alpha() const override { return alpha_; }
    void setAlpha(double a, bool) override { alpha_ = a; }
    void pushGrabCursor() override { ++cursorDepth; }
    void popGrabCursor() override { --cursorDepth; }
    void popUpMenu(const QList<QuickMenuItem>& items, PointF) override { menu = items; }
    void announce(const QString& text) override { announcements << text; }

    // Window-local y-up location of a global point.
    PointF local(PointF p) const { return {p.x - frame_.x, p.y - frame_.y}; }
    // A left-button or right-button event at a global point over this window.
    bool mouse(IslandMouseEvent::Type type, PointF p) {
        return onMouse ? onMouse({type, p, local(p)}) : false;
    }
    // A scroll event at a window-local point.
    void scroll(double delta, double time, bool precise, PointF where, bool begins = false,
                bool momentum = false, bool inverted = false) {
        if (onScroll) onScroll({where, delta, precise, inverted, begins, momentum, time});
    }
};

// 1920 × 1080 at the origin with a 28-point top panel.
// A pill on a screen without a notch under a 28-point top panel, and a notch of 200 × 32.
inline IslandMetrics pillMetrics() {
    IslandMetrics m;
    m.notchHeight = 28;
    m.menuBarDepth = 28;
    m.style = IslandStyle::pill;
    return m;
}

inline IslandMetrics notchMetrics() {
    IslandMetrics m;
    m.notchWidth = 200;
    m.notchHeight = 32;
    m.hasNotch = true;
    m.style = IslandStyle::notch;
    m.menuBarDepth = 32;
    return m;
}

inline ScreenDescription mainScreen() {
    ScreenDescription s;
    s.frame = {0, 0, 1920, 1080};
    s.visibleFrame = {0, 0, 1920, 1052};
    s.name = QStringLiteral("HDMI-1");
    return s;
}

// A second screen to the right of the main one, without a top panel.
inline ScreenDescription rightScreen() {
    ScreenDescription s;
    s.frame = {1920, 0, 1280, 1024};
    s.visibleFrame = s.frame;
    s.name = QStringLiteral("DP-2");
    return s;
}

// The controller over a fake desktop: screens as descriptions, a hand-moved pointer, a recording
// window and a fake clock.
class IslandFixture : public ::testing::Test {
public:
    ScopedTimeZone zone{"UTC"};
    FakeScheduler clock{at("UTC", 2025, 3, 7, 10, 0)};
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    FakeSound::Log chime;
    TimerModel model{prefs, defaults, clock, std::make_unique<FakeSound>(&chime)};
    FakePointerMonitor pointer;
    FakeReducedMotion motion;
    QList<ScreenDescription> screens{mainScreen()};
    FakeIslandWindow* window = nullptr;
    std::unique_ptr<IslandController> controller;
    int settingsShown = 0;
    int historyShown = 0;
    // The desktop's tray host, when the test gives the controller one (see withTray).
    std::optional<bool> trayAvailable;
    FakeTrayHost* tray = nullptr;

    IslandController& make() {
        pointer.setLocation({100, 500});
        auto w = std::make_unique<FakeIslandWindow>();
        window = w.get();
        IslandEnvironment env;
        env.scheduler = &clock;
        env.pointer = &pointer;
        env.reducedMotion = &motion;
        env.screens = [this] { return screens; };
        env.window = std::move(w);
        if (trayAvailable) {
            auto t = std::make_unique<FakeTrayHost>(*trayAvailable);
            tray = t.get();
            env.trayHost = std::move(t);
        }
        controller = std::make_unique<IslandController>(model, prefs, std::move(env));
        controller->onShowSettings = [this] { ++settingsShown; };
        controller->onShowHistory = [this] { ++historyShown; };
        controller->applyVisibility();
        return *controller;
    }

    IslandState& island() { return controller->island(); }

    RectF collapsedTarget() {
        return collapsedFrame(controller->screen(), island().metrics(), model.isActive(),
                              island().isHovering(), prefs.pillPositions());
    }
    RectF expandedTarget() {
        return expandedFrame(controller->screen(), island().metrics(), island().contentFlags(),
                             prefs.pillPositions());
    }
    // The content rectangle of the window in window-local coordinates.
    RectF content() {
        return contentRect(window->frame_.size(),
                           contentSize(island().metrics(), island().contentFlags()));
    }
    PointF contentCentre() {
        const RectF c = content();
        return {window->frame_.x + c.midX(), window->frame_.y + c.midY()};
    }
    PointF windowCentre() { return {window->frame_.midX(), window->frame_.midY()}; }

    void startFocus() {
        model.selectMode(TimerModel::Mode::focus);
        model.start(25 * 60);
    }

    // Runs everything pending (animations' follow-ups, shrinking, screen checks).
    void settle() { clock.advance(30); }
};

}  // namespace tw::test
