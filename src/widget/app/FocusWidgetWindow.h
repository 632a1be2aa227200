#pragma once

#include <QPoint>
#include <QRasterWindow>
#include <QRegion>
#include <optional>

#include "platform/DesktopWindows.h"
#include "widget/app/FocusWidgetView.h"

namespace tw {

// The widget on the desktop: a frameless window below the other windows, on every workspace and
// out of the taskbar, showing one entry at a time. Dragging it moves it; where it was let go is
// remembered in the widget's own settings file and used at the next start. While a compositor
// runs, its rounded corners are translucent; otherwise the window is cut to its outline.
class FocusWidgetWindow : public QRasterWindow {
    Q_OBJECT
public:
    // `hints` keeps the window on every workspace and below the others (may be null).
    // `compositor` tells whether a compositor runs, and when one starts or stops (may be null:
    // none can be watched, and the window is cut to its outline, which suits any desktop).
    FocusWidgetWindow(FocusWidgetView::Family family, QString positionFile, WindowHints* hints,
                      CompositorWatch* compositor = nullptr);

    void setEntry(const FocusWidgetEntry& entry);
    const std::optional<FocusWidgetEntry>& entry() const { return entry_; }

    // Whether the window is cut to its outline.
    bool isShaped() const { return shaped_; }
    // The rounded outline of a widget of `size`, in whole pixels (a cut has no soft edges).
    static QRegion outline(QSize size);

    // Puts the window where it was left, or near the top-right corner of the primary screen when
    // nothing is stored or the stored place lies on no screen any more, and shows it.
    void present();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPoint defaultPosition() const;
    void setCompositing(bool runs);
    void applyShape();

    QString positionFile_;
    WindowHints* hints_ = nullptr;
    std::optional<FocusWidgetEntry> entry_;
    std::optional<QPoint> dragOffset_;  // pointer position inside the window while dragging
    bool moved_ = false;
    bool shaped_ = false;
};

}  // namespace tw
