#pragma once

// Whether a compositing manager runs on the X server, followed as it starts and stops: a
// compositor announces itself by owning the selection _NET_WM_CM_S<screen>, and XFixes reports
// every change of that selection's owner (a new owner, the owner's window destroyed or its
// client gone). Windows that draw their own translucency ask this rather than the screen once.

#include <QAbstractNativeEventFilter>
#include <memory>

#include "platform/DesktopWindows.h"

namespace tw {

class X11CompositorWatch final : public CompositorWatch, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Over the X connection of the running Qt application; null when Qt does not run on X or
    // the server has no XFixes.
    static std::unique_ptr<X11CompositorWatch> create(QObject* parent = nullptr);
    ~X11CompositorWatch() override;

    bool runs() const override { return runs_; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // Asks the server now, without waiting for a notification.
    static bool compositorRuns();

private:
    X11CompositorWatch(quint32 selection, quint8 xfixesFirstEvent, bool runs, QObject* parent);

    quint32 selection_;
    quint8 xfixesFirstEvent_;
    bool runs_;
};

}  // namespace tw
