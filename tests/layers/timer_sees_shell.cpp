// Must not build: the timer is below the features.
#include "shell/GlobalShortcut.h"
