// Must not build: the island receives the Linux objects through interfaces.
#include "platform/linux/X11HotKeys.h"
