#pragma once

// Window hints through EWMH on the X connection Qt runs on: _NET_WM_DESKTOP 0xFFFFFFFF and the
// _NET_WM_STATE sticky, skip-taskbar, skip-pager and above or below states.

#include "platform/DesktopWindows.h"

namespace tw {

class X11WindowHints final : public WindowHints {
public:
    void keepOnEveryWorkspace(QWindow& window, Layer layer) override;
};

}  // namespace tw
