// Builds: the island may use the timer below it.
#include "timer/TimerModel.h"
