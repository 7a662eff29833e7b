#include "scans/full_scan.h"

#include "engine/load_point_engine.h"
#include "ledger/rescan_pass.h"
#include "scans/scanner_table.h"

int32_t FullLoadPointScan(LoadPointEngine& engine, int32_t startFlag) {
  BeginFullScan(engine);
  RunScannerTable(engine, startFlag);
  EndFullScan(engine);
  return 1;
}
