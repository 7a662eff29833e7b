// A sideways include: right does not depend on left.
#include "left/left.h"

int Peek() { return Left(); }
