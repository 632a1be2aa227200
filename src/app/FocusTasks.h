#pragma once

#include "timer/FocusTaskSource.h"

namespace tw {

class TickTickFocusHook;

// The TickTick hook as the task list of the island's picker and the tray's task entry: its open
// tasks, its selection and its choice, holding the hook weakly (gone: no tasks, no choice).
FocusTaskSource focusTaskSource(TickTickFocusHook* hook);

}  // namespace tw
