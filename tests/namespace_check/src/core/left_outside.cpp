#include "core/kept_inside.h"

using Outer::Forward;

namespace {
int Helper() { return 1; }
}  // namespace

int Stray() { return Helper(); }

class Loose {};

extern "C" int LinkerSeam;

int main() { return Stray(); }
