// The load-point place of the engine: one registry event goes to the handler family
// of its location, and every change the family reports becomes a change event of
// the process that made it.

#include <string>

#include "database/load_point_database.h"
#include "engine/load_point_dispatch.h"
#include "engine/load_point_engine.h"
#include "families/common/load_point_catalogue.h"
#include "families/common/load_point_handlers.h"
#include "intake/brumevale_event.h"
#include "ledger/load_point_ledger.h"
#include "ledger/process_file.h"
#include "util/text_routines.h"
#include "util/vyr_log.h"

using Families::FindLocationDeclaration;
using Families::HandleClassWatchEvent;
using Families::HandleValueLoadPoint;
using Families::LiveHandler;
using Families::LocationDeclaration;
using Intake::BrumevaleRegistryEvent;
using Ledger::ChangeRecord;
using Ledger::ChangeRecords;
using Ledger::EventTypeOfChangeKind;
using Ledger::ReadProcessFile;
using Ledger::RecordChangeEvent;
using Ledger::WriteProcessFile;

namespace Engine {

namespace {

LiveHandler HandlerOf(const BrumevaleRegistryEvent& event) {
  // A class watch carries the load point's key; its code only says where the load
  // point lives, so it never selects the location's own family.
  if (event.ExtraNumber() > 0) return HandleClassWatchEvent;
  const LocationDeclaration* location = FindLocationDeclaration(event.MatcherCode());
  return location != nullptr && location->handler != nullptr ? location->handler
                                                             : HandleValueLoadPoint;
}

}  // namespace

void DispatchLoadPointEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
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
}

}  // namespace Engine
