#include "right/right.h"

#include "base/base.h"

int Right() { return Base() + 2; }
