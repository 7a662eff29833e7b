#include "base/base.h"

int Base() { return 1; }
