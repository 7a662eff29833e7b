#include "engine/full_scan.h"

#include "engine/load_point_engine.h"
#include "engine/scanner_table.h"
#include "ledger/rescan_pass.h"

using Ledger::AbandonFullScan;
using Ledger::BeginFullScan;
using Ledger::EndFullScan;
using Ledger::FullScanStopping;

namespace Engine {

int32_t FullLoadPointScan(LoadPointEngine& engine, int32_t startFlag) {
  BeginFullScan(engine);
  RunScannerTable(engine, startFlag);
  if (FullScanStopping(engine)) {
    AbandonFullScan(engine);
    return 0;
  }
  return EndFullScan(engine) ? 1 : 0;
}

}  // namespace Engine
