#include "left/left.h"
#include "right/right.h"

int Top() { return Left() + Right(); }
