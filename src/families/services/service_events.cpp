// Services and drivers: the five watched values of a service key keep its row (one
// per control set) in step. Whether a service qualifies at all is ScanService's
// rule, the same one the rescan applies.

#include <string>

#include "database/load_point_database.h"
#include "families/common/class_indirection.h"
#include "families/common/load_point_catalogue.h"
#include "families/common/load_point_handlers.h"
#include "families/services/service_scan.h"
#include "intake/brumevale_event.h"
#include "intake/location_codes.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/load_point_state.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

using Database::LoadPointDatabase;
using Database::LoadPointRows;
using Database::LoadPointStateChange;
using Intake::BrumevaleRegistryEvent;
using Intake::kRegistryKeyDeleted;
using Intake::kRegistryValueDeleted;
using Intake::kRegistryValueSet;
using enum Intake::MatcherCode;
using Ledger::ChangeRecord;
using Ledger::ChangeRecords;
using Ledger::LedgerContext;
using Ledger::LoadPointExtEventData;
using Ledger::OpenLoadPointDatabase;
using Ledger::ReturnStateChange;
using Ledger::kChangeKindAdded;
using Ledger::kChangeKindChanged;
using Ledger::kChangeKindDeleted;
using Ledger::kChangeKindNone;

namespace Families {

namespace {

// "Start" values of services that never start on their own.
constexpr int64_t kDemandStart = 3;
constexpr int64_t kDisabled = 4;

// Compared as the number the data reads as, not as text: a "Start" written as the
// string "04" (or " 4") disables the service just as the number 4 does.
bool NeverStartsOnItsOwn(const std::u16string& startText) {
  const int64_t start = VyrUtilities::DecimalValue(startText);
  return start == kDemandStart || start == kDisabled;
}

struct ServiceRow {
  int32_t key;
  std::u16string commandLine;
  std::u16string displayName;
};

struct ServiceContext {
  LedgerContext& ledger;
  LoadPointDatabase& database;
  const BrumevaleRegistryEvent& event;
  std::u16string serviceKey;  // below HKEY_LOCAL_MACHINE
  std::u16string name;
};

std::u16string ServiceKeyPath(const BrumevaleRegistryEvent& event) {
  const int last = event.KeyPath().LastComponent();
  const int end = event.MatcherCode() == kServiceDllCode ? last - 1 : last;
  return event.KeyPath().Slice(0, end).ToText(false);
}

bool ServiceWow64(const ServiceContext& context) {
  uint32_t wow64 = 0;
  if (!VyrUtilities::ReadRegistryDword(context.ledger.System(), Platform::kHkeyLocalMachine,
                                       context.serviceKey, u"WOW64", wow64)) {
    return 0;
  }
  return wow64 == 1;
}

bool IsHosted(const ServiceContext& context, const std::u16string& imagePath) {
  return IsServiceHostMember(context.ledger, context.name, imagePath, ServiceWow64(context)) == 1;
}

void Delete(const ServiceContext& context, const ServiceRow& row, LoadPointExtEventData& data,
            uint32_t& kind) {
  context.database.DeleteLoadPoint(row.key);
  kind = kChangeKindDeleted;
  data.SetDeleted(row.commandLine, row.displayName);
}

void ChangeCommandLine(const ServiceContext& context, const ServiceRow& row,
                       const std::u16string& commandLine, LoadPointExtEventData& data,
                       uint32_t& kind) {
  if (VyrUtilities::EqualsIgnoreCase(commandLine, row.commandLine)) return;
  context.database.UpdateLoadPointEntry(row.key, commandLine);
  kind = kChangeKindChanged;
  data.SetChanged(commandLine, row.commandLine, row.displayName);
}

void ImagePathSet(const ServiceContext& context, const ServiceRow& row,
                  LoadPointExtEventData& data, uint32_t& kind) {
  const std::u16string& imagePath = context.event.GetValueText(0);
  if (!IsHosted(context, imagePath)) {
    ChangeCommandLine(context, row, imagePath, data, kind);
    return;
  }
  std::u16string serviceDll;
  if (VyrUtilities::ReadRegistryString(context.ledger.System(), Platform::kHkeyLocalMachine,
                                       context.serviceKey + u"\\Parameters", u"ServiceDll",
                                       serviceDll)) {
    ChangeCommandLine(context, row, serviceDll, data, kind);
  } else {
    Delete(context, row, data, kind);
  }
}

void ServiceDllEvent(const ServiceContext& context, const ServiceRow& row,
                     LoadPointExtEventData& data, uint32_t& kind) {
  std::u16string imagePath;
  if (!VyrUtilities::ReadRegistryString(context.ledger.System(), Platform::kHkeyLocalMachine,
                                        context.serviceKey, u"ImagePath", imagePath) ||
      !IsHosted(context, imagePath)) {
    return;
  }
  if (context.event.Operation() == kRegistryValueDeleted) {
    Delete(context, row, data, kind);
  } else {
    ChangeCommandLine(context, row, context.event.GetValueText(0), data, kind);
  }
}

// The service already has a row: what the changed value means for it.
void ChangeExistingService(const ServiceContext& context, const ServiceRow& row,
                           LoadPointExtEventData& data, uint32_t& kind) {
  const bool deleted = context.event.Operation() == kRegistryValueDeleted;
  const std::u16string& value = context.event.GetValueText(0);
  switch (context.event.MatcherCode()) {
    case kImagePathCode:
      if (deleted) Delete(context, row, data, kind);
      else ImagePathSet(context, row, data, kind);
      break;
    case kServiceDllCode: ServiceDllEvent(context, row, data, kind); break;
    case kServiceTypeValueCode:
      if (deleted) Delete(context, row, data, kind);
      break;
    case kStartCode:
      if (deleted || NeverStartsOnItsOwn(value)) Delete(context, row, data, kind);
      // A departure from the documented handler, whose removal read the same for a
      // service switched off as for one deleted: the rows go as before, and the
      // event of Start 4 is marked disabled (EventOrigin STATE_CHANGE 1). Start 3
      // stays a plain removal.
      if (!deleted && VyrUtilities::DecimalValue(value) == kDisabled) {
        data.stateChange = LoadPointStateChange::kDisabled;
      }
      break;
    case kDisplayNameCode:
      if (!VyrUtilities::EqualsIgnoreCase(value, row.displayName)) {
        context.database.UpdateLoadPointDisplayName(row.key, value);
        kind = kChangeKindChanged;
        data.SetNameChanged(value, row.displayName);
      }
      break;
    default: break;
  }
}

// A service without a row gets one when the value made it qualify.
int32_t AddQualifyingService(const ServiceContext& context, LoadPointExtEventData& data,
                             uint32_t& kind) {
  int32_t key = 0;
  const std::u16string controlSet = LoadPointUserId(context.event);
  if (ScanService(context.ledger, controlSet, context.name, &key) != 1 || key < 1) return 0;
  LoadPointRows rows;
  if (context.database.FindLoadPointEntry(key, rows) != 1) return 0;
  kind = kChangeKindAdded;
  data.SetAdded(rows.COMMAND_LINE(0), rows.DISPLAY_NAME(0));
  // Back from a disable: its addition is marked enabled again (see kStartCode).
  data.stateChange = ReturnStateChange(context.database, static_cast<uint32_t>(rows.LP_TYPE(0)),
                                       controlSet, {context.name, rows.DISPLAY_NAME(0)});
  return key;
}

}  // namespace

void HandleServiceEvent(LedgerContext& ledger, const BrumevaleRegistryEvent& event,
                        ChangeRecords& records) {
  if (event.Operation() == kRegistryKeyDeleted) {
    // The service key's deletion reaches every code of it; one removal is enough.
    if (event.MatcherCode() == kImagePathCode) HandleKeyDeletion(ledger, event, records);
    return;
  }
  LoadPointDatabase* database = OpenLoadPointDatabase(ledger);
  if (database == nullptr) return;
  const ServiceContext context{ledger, *database, event, ServiceKeyPath(event),
                               LoadPointEntryName(ledger.System(), event)};
  const std::u16string controlSet = LoadPointUserId(event);
  ChangeRecord record(0);
  LoadPointRows rows;
  if (database->FindServiceEntry(controlSet, context.name, rows) == 1) {
    record.targetKey = rows.KEY(0);
    ChangeExistingService(context, {rows.KEY(0), rows.COMMAND_LINE(0), rows.DISPLAY_NAME(0)},
                          *record.extendedData, record.kind);
  } else if (event.Operation() == kRegistryValueSet) {
    record.targetKey = AddQualifyingService(context, *record.extendedData, record.kind);
  }
  if (record.kind == kChangeKindNone || record.targetKey < 1) return;
  record.extendedData->SetLoadPoint(LoadPointTypeOf(event.MatcherCode()), context.name, controlSet);
  records.push_back(std::move(record));
}

}  // namespace Families
