#pragma once

// The island's window: a frameless, always-on-top tool window on every workspace that never
// takes the keyboard unless the controller makes it key. With a compositor it is translucent
// (the island draws its own rounded shape and shadow margin); without one it is cut to a shape.
// It hosts the island's content widget in a fixed-size container hanging from its top centre,
// and hands mouse and scroll events to the controller before normal handling.

#include <QColor>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "island/IslandWindow.h"
#include "platform/DesktopWindows.h"
#include "platform/PointerMonitor.h"
#include "platform/ReducedMotion.h"
#include "platform/TrayHost.h"

class QPropertyAnimation;

namespace tw {

class AppPreferences;
class DriftLog;
class IslandController;
class Scheduler;
class TestimonialStore;
class TimerModel;

class IslandPanel final : public QWidget, public IslandWindow {
    Q_OBJECT
public:
    // `hints` keeps the window on every workspace (may be null); `compositing` says whether a
    // compositor runs now.
    IslandPanel(std::shared_ptr<WindowHints> hints, bool compositing, QWidget* parent = nullptr);
    ~IslandPanel() override;

    // The island views: placed in the top-centre container, filling it.
    void setContentWidget(QWidget* content);
    QWidget* contentWidget() const { return content_; }
    QWidget* container() const { return container_; }

    // The shape the window is cut to when no compositor runs (window-local Qt coordinates);
    // nothing means the whole window.
    void setShape(const std::optional<QRegion>& shape);
    // Where the shape comes from while the content changes (asked when the content repaints);
    // takes the place of a fixed shape.
    void setShapeProvider(std::function<QRegion()> provider);
    // While a compositor runs the window is translucent; otherwise it is cut to its shape.
    bool isTranslucent() const { return translucent_; }
    // A compositor started or stopped. A window made without an alpha channel is made again
    // with one (same place, same states) when translucency needs it.
    void setCompositing(bool runs);
    // The colour of the quick menu's chosen item (the timer's mode colour).
    void setMenuAccent(const QColor& accent) { menuAccent_ = accent; }

    // IslandWindow.
    RectF frame() const override;
    void setFrame(const RectF& frame, bool animate) override;
    void setFrameOrigin(PointF origin) override;
    void setHostSize(SizeF size) override;
    void orderFront() override;
    void orderOut() override;
    void makeKey() override;
    void resignKey() override;
    void setIgnoresMouseEvents(bool ignores) override;
    double alpha() const override { return alpha_; }
    void setAlpha(double alpha, bool animate) override;
    void pushGrabCursor() override;
    void popGrabCursor() override;
    void popUpMenu(const QList<QuickMenuItem>& items, PointF location) override;
    void announce(const QString& text) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void layoutContainer();
    void applyShape();
    void markContentShaped();
    void applyDesktopStates();
    void setWindowFlagNow(Qt::WindowType flag, bool on);

    QWidget* container_ = nullptr;
    QPointer<QWidget> content_;
    SizeF hostSize_;
    bool translucent_ = false;
    bool hasAlpha_ = false;  // the native window has an alpha channel
    double alpha_ = 1;
    std::optional<QRegion> shape_;
    std::function<QRegion()> shapeProvider_;
    QRegion appliedMask_;
    bool maskApplied_ = false;
    QPropertyAnimation* alphaAnimation_ = nullptr;
    QPointer<QWidget> accessibleAnnouncer_;
    std::shared_ptr<WindowHints> hints_;
    QColor menuAccent_;  // the chosen item of the quick menu
};

// What the island needs of the desktop it runs on.
struct DesktopIslandParts {
    std::unique_ptr<PointerMonitor> pointer;
    std::unique_ptr<ReducedMotion> reducedMotion;
    std::unique_ptr<CompositorWatch> compositor;  // null: no compositor can be watched
    std::shared_ptr<WindowHints> windowHints;     // null: no window-manager hints
    std::unique_ptr<TrayHost> trayHost;           // null: trays are taken to be shown
};

// The island on the real desktop: the controller with an IslandPanel showing an IslandView, the
// desktop's pointer monitor and reduce-motion setting and Qt's screens, kept in step with screen
// changes, active-window changes and a compositor starting or stopping. The returned controller
// owns all of them.
std::unique_ptr<IslandController> makeDesktopIsland(TimerModel& model, AppPreferences& preferences,
                                                    Scheduler& scheduler, const DriftLog* drifts,
                                                    TestimonialStore* testimonials,
                                                    DesktopIslandParts parts,
                                                    QObject* parent = nullptr);

}  // namespace tw
