#pragma once

#include <QString>

namespace tw {

// Opens a file the way the desktop opens it when the user does: with the application registered
// for its type.
class DesktopOpener {
public:
    virtual ~DesktopOpener() = default;
    // False when the desktop could not hand the file to any application.
    virtual bool open(const QString& path) = 0;
};

}  // namespace tw
