#pragma once

// The island's content: one widget, drawn entirely with QPainter, that shows the timer, the
// island state and the preferences and turns clicks, hovering and the context menu into the
// island's requests and the timer's operations. IslandLayout places everything, IslandPainter
// draws it and IslandActions does what the controls and menus do; the widget turns events into
// them, runs the animations and keeps the text fields. It keeps only transient interface state
// (what is hovered or pressed, the text being typed); everything it shows lives in TimerModel,
// IslandState and AppPreferences and is redrawn when they change.
//
// The widget has the size of the largest open island plus its margins (maxPanelSize) and draws
// the island at its top centre; the panel shows the part of it that the current frame covers.

#include <QPointer>
#include <QRectF>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "island/CompletionCelebration.h"
#include "island/IslandActions.h"
#include "island/IslandGeometry.h"
#include "island/IslandLayout.h"
#include "island/IslandViewStyle.h"

class QLineEdit;
class QMenu;
class QTimer;
class QVariantAnimation;

namespace tw {

namespace islandaccess {
class Notifier;
}
class AppPreferences;
class IslandState;
class TimerModel;

class IslandView : public QWidget {
    Q_OBJECT
public:
    IslandView(TimerModel& model, IslandState& island, AppPreferences& preferences,
               QWidget* parent = nullptr);
    ~IslandView() override;

    // Whether motion is reduced, read at each change (default: TARNWHISTLE_REDUCED_MOTION=1).
    std::function<bool()> reduceMotion;
    // The context menu's "Quit Tarnwhistle" (default: QCoreApplication::quit).
    std::function<void()> onQuit;
    // Asked for when a text field needs the keyboard (default: activate this window).
    std::function<void()> onNeedsKeyboard;

    void setTaskPickerHook(std::optional<FocusTaskSource> source);
    // Redraws the picker row after the hook's tasks or choice changed.
    void taskPickerChanged();

    // Posts a spoken announcement ("Focus complete") for assistive technologies.
    void announce(const QString& text);

    // Inspection, for the controller's hit tests, the screenshots and the tests. Rectangles are in
    // widget coordinates (y down) and describe where things end up once animations settle.
    const IslandLayout& layout() const { return layout_; }
    IslandContent content() const;
    QRectF islandRect() const;
    islandstyle::ShapeParams shape() const;
    QRectF controlRect(IslandControl control) const;  // empty when the control is not shown
    QString controlHelp(IslandControl control) const;
    // The part redrawn once a second while the timer runs.
    QRectF countdownRegion() const;
    QLineEdit* countdownField() const { return countdownField_; }
    QLineEdit* chipField() const { return chipField_; }
    QLineEdit* quoteField() const { return quoteField_; }
    const celebration::QuotePromptState& quoteState() const { return actions_->quoteState(); }
    // The chip whose value is being typed.
    std::optional<TimerModel::Mode> chipEditing() const { return chipEditing_; }
    // What the controls and menus do.
    IslandActions& actions() const { return *actions_; }
    // The context menu as it would open now.
    std::unique_ptr<QMenu> makeContextMenu();
    // Ends running animations at their final state.
    void finishAnimations();
    // Whether the swipe hint's arrow is moving (only while the hint shows and motion is not
    // reduced).
    bool scrollCueAnimating() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Geometry {
        QRectF rect;
        islandstyle::ShapeParams shape;
    };
    enum class Motion { hover, openClose, content };

    IslandLayout computeLayout() const;

    void refresh(Motion motion);
    void remainingChanged();
    // The part of the closed island's time that changes from what was last drawn to `shown`.
    QRectF changedTimeArea(const QString& shown);
    void celebrationChanged();
    void expandedChanged();
    void startMorph(Motion motion);
    // Tells assistive technologies what changed since the last call (only while one listens).
    void accessibilityChanged();
    bool reducedMotion() const;
    void updateScrollCue();

    bool insideIsland(const QPointF& pos) const;
    // Opens the text field or the menu of `control`.
    void openControl(IslandControl control);
    void setPointerHovering(bool hovering);
    void updateHoveredControl(const QPointF& pos);
    double cardElapsed() const;
    void updateCardAnimation();

    void beginCountdownEdit();
    void finishCountdownEdit();
    void beginChipEdit(TimerModel::Mode mode);
    void finishChipEdit(bool apply);
    void showTaskMenu();
    void placeFields();
    void styleField(QLineEdit* field, double pixelSize, Qt::Alignment align) const;

    TimerModel& model_;
    IslandState& island_;
    AppPreferences& preferences_;
    IslandActions* actions_ = nullptr;

    IslandLayout layout_;
    Geometry from_;
    Geometry current_;
    QVariantAnimation* morph_ = nullptr;
    QVariantAnimation* fade_ = nullptr;
    double contentOpacity_ = 1;
    QVariantAnimation* cue_ = nullptr;
    double cueOffset_ = 0;
    qint64 progressStep_ = -1;  // the progress step last drawn
    QString shownRemaining_;    // the time as last asked to be drawn
    struct TimeCells {
        QRectF rect;
        Qt::Alignment align;
        QString pattern;  // the time with every digit a 0
        QList<QRectF> cells;
        QRectF band;
    };
    TimeCells timeCells_;

    bool pointerInside_ = false;
    std::optional<IslandControl> hovered_;
    std::optional<IslandControl> pressed_;
    bool pressInsideIsland_ = false;

    QLineEdit* countdownField_ = nullptr;
    QString countdownFocusedText_;
    QLineEdit* chipField_ = nullptr;
    std::optional<TimerModel::Mode> chipEditing_;
    bool chipApplying_ = false;
    QLineEdit* quoteField_ = nullptr;
    QTimer* cardFrames_ = nullptr;
    QTimer* cardWake_ = nullptr;
    std::unique_ptr<islandaccess::Notifier> accessibility_;
};

}  // namespace tw
