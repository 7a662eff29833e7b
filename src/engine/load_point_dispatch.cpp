// The load-point place of the engine: one registry event goes to the handler family
// of its location, and every change the family reports becomes a change event of
// the process that made it.

#include <string>

#include "database/load_point_database.h"
#include "engine/load_point_dispatch.h"
#include "engine/load_point_engine.h"
#include "families/common/load_point_handlers.h"
#include "intake/brumevale_event.h"
#include "ledger/load_point_catalogue.h"
#include "ledger/load_point_ledger.h"
#include "ledger/process_file.h"
#include "util/text_routines.h"
#include "util/vyr_log.h"

namespace {

using Handler = void (*)(LedgerContext&, const BrumevaleRegistryEvent&, ChangeRecords&);

struct CodeRange {
  uint32_t first;
  uint32_t last;
  Handler handler;
};

// Locations with a family of their own; every other load-point code is one value.
constexpr CodeRange kFamilies[] = {
    {20, 21, HandleServiceEvent},          {29, 31, HandleServiceEvent},
    {55, 58, HandleActiveSetupEvent},      {59, 62, HandleNameSpaceCatalogEvent},
    {66, 67, HandleProtocolCatalogEvent},  {63, 65, HandleBrowserExtensionEvent},
    {68, 70, HandleNetworkProviderEvent},  {10, 13, HandleListValue},
    {32, 35, HandleListValue},             {38, 38, HandleListValue},
    {71, 71, HandleListValue},             {23, 24, HandleBhoEvent},
    {72, 73, HandleTaskCacheEvent},
};

Handler HandlerOf(const BrumevaleRegistryEvent& event) {
  // A class watch carries the load point's key; its code only says where the load
  // point lives, so it never selects the location's own family.
  if (event.ExtraNumber() > 0) return HandleClassWatchEvent;
  const uint32_t code = event.MatcherCode();
  for (const CodeRange& range : kFamilies) {
    if (code >= range.first && code <= range.last) return range.handler;
  }
  return HandleValueLoadPoint;
}

}  // namespace

int32_t DispatchLoadPointEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                               uint64_t processId) {
  // The image is read and checked before the handler's first lookup opens the live
  // batch's transaction, so the lock is not held meanwhile.
  const auto process = ReadProcessFile(engine, processId);
  ChangeRecords records;
  HandlerOf(event)(engine, event, records);
  // Once per event, also when nothing changed: the process took part in it.
  const int32_t processKey = WriteProcessFile(engine, *process);
  for (ChangeRecord& record : records) {
    RecordChangeEvent(engine, event.TimeText(), record.targetKey, processKey,
                      EventTypeOfChangeKind(record.kind), record.extendedData.get());
  }
  return 1;
}
