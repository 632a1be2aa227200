// Must not build: the platform layer is below every feature.
#include "island/IslandState.h"
