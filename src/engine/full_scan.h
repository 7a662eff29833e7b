#pragma once
// The full load-point rescan: every autostart location of the machine is read and
// reconciled with the LoadPoints table, inside the frame of ledger/rescan_pass.h.

#include <cstdint>
#include <string>

namespace Engine {

class LoadPointEngine;

// Runs the whole rescan in one exclusive transaction. startFlag 1 on the first scan
// after start-up (entries are then not reported as found at run time). 1 when the
// pass was committed, 0 when a stop abandoned it.
int32_t FullLoadPointScan(LoadPointEngine& engine, int32_t startFlag);

}  // namespace Engine
