#pragma once

#include <QString>

namespace tw::paths {

inline constexpr char kAppId[] = "dev.tarnwhistle.app";
inline constexpr char kAppGroup[] = "group.dev.tarnwhistle.app";

// $XDG_CONFIG_HOME/tarnwhistle
QString configDir();
// $XDG_DATA_HOME/tarnwhistle (falls back to the temporary folder when no home is known)
QString dataDir();
// The resources folder: what ships with the program for the user to read (the shortcut
// definitions), <bindir>/../share/tarnwhistle beside the running program, in an installed copy
// and in the build tree alike.
QString resourcesDir();
// The standard defaults file and the app-group suite shared with the desktop widget.
QString standardDefaultsFile();
QString appGroupDefaultsFile();

}  // namespace tw::paths
