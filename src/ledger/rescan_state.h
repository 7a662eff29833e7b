#pragma once
// What a full rescan keeps between BeginFullScan and EndFullScan.

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "database/event_origin.h"

namespace Ledger {

class ScanSnapshot;

struct FullScanState {
  // LoadPoints keys expected to be found; what is left at the end was not found.
  std::set<int32_t> pendingKeys;
  uint32_t active = 0;   // 1 while a scan runs
  uint32_t changed = 0;  // 1 when the running scan added or changed a row
  // How the running re-read learnt what it finds: each row it adds, changes or
  // removes gets an event of this origin (ledger/found_change.h). kDriver while the
  // baseline runs (the first rescan of an empty record), which names no row.
  Database::ChangeOrigin findingOrigin = Database::ChangeOrigin::kDriver;
  // 1 for a full rescan, which ends with its summary event when it changed a row.
  uint32_t summarise = 1;
  // The rows as the running scan found them (ledger/scan_snapshot.h); null outside a
  // scan, and when it could not be read (lookups then go to the database).
  std::shared_ptr<ScanSnapshot> snapshot;
  // Load points the running scan found switched off (ledger/load_point_state.h).
  std::set<std::u16string> disabled;
};

}  // namespace Ledger
