#pragma once

#include "platform/DesktopOpener.h"

namespace tw {

// Files opened through QDesktopServices: the desktop's portal or xdg-open, which choose the
// application from the file's MIME type.
class QtDesktopOpener final : public DesktopOpener {
public:
    bool open(const QString& path) override;
};

}  // namespace tw
