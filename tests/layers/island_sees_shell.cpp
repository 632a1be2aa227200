// Must not build: the features do not include one another.
#include "shell/MenuModel.h"
