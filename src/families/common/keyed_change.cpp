#include "families/common/keyed_change.h"

#include "database/load_point_database.h"
#include "families/common/load_point_catalogue.h"
#include "intake/brumevale_event.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "util/text_routines.h"

using Database::LoadPointDatabase;
using Intake::BrumevaleRegistryEvent;
using Ledger::ChangeRecord;
using Ledger::ChangeRecords;
using Ledger::LedgerContext;
using Ledger::OpenLoadPointDatabase;
using Ledger::kChangeKindChanged;
using Ledger::kChangeKindDeleted;
using Ledger::kChangeKindNone;

namespace Families {

std::unique_ptr<KeyedChange> LookUpKeyedChange(LedgerContext& context,
                                               const BrumevaleRegistryEvent& event,
                                               const std::u16string& userId) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return nullptr;
  auto change = std::make_unique<KeyedChange>(KeyedChange{
      *database, LoadPointTypeOf(event.MatcherCode()), userId,
      LoadPointEntryName(context.System(), event), {}, ChangeRecord(0)});
  database->FindLoadPointEntry(static_cast<int32_t>(change->type), userId, change->name,
                               change->row);
  if (change->HasRow()) change->record.targetKey = change->Key();
  return change;
}

void DeleteKeyedRow(KeyedChange& change, const std::u16string& altName) {
  change.database.DeleteLoadPoint(change.Key());
  change.Set(kChangeKindDeleted);
  change.record.extendedData->SetDeleted(change.row.COMMAND_LINE(0), altName);
}

void RenameKeyedRow(KeyedChange& change, const std::u16string& displayName) {
  if (!change.HasRow() || VyrUtilities::EqualsIgnoreCase(change.row.DISPLAY_NAME(0), displayName)) {
    return;
  }
  if (change.database.UpdateLoadPointDisplayName(change.Key(), displayName) > 0) {
    change.Set(kChangeKindChanged);
    change.record.extendedData->SetNameChanged(displayName, change.row.DISPLAY_NAME(0));
  }
}

void AppendKeyedChange(KeyedChange& change, ChangeRecords& records) {
  if (change.record.kind != kChangeKindNone && change.record.targetKey >= 1) {
    records.push_back(std::move(change.record));
  }
}

}  // namespace Families
