#include "left/left.h"

#include "base/base.h"

int Left() { return Base() + 1; }
