#pragma once
// A change to a load point that is keyed by a subkey or catalog entry and described
// by several of its values (Winsock catalog entries, Active Setup components,
// browser extensions): the row the event's location names, when it has one, and the
// change record being filled for it.

#include <memory>
#include <string>

#include "database/row_readers.h"
#include "ledger/change_record.h"

namespace Database {
class LoadPointDatabase;
}  // namespace Database

namespace Intake {
class BrumevaleRegistryEvent;
}  // namespace Intake

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

struct KeyedChange {
  Database::LoadPointDatabase& database;
  uint32_t type;
  std::u16string userId;
  std::u16string name;  // ENTRY_NAME: the subkey's name or the entry's number
  Database::LoadPointRows row;
  Ledger::ChangeRecord record{0};

  bool HasRow() const { return row.HasRows(); }
  int32_t Key() const { return row.KEY(0); }
  void Set(uint32_t kind) { record.kind = kind; }
};

// The row of (type of the event's code, userId, entry name of the event); null
// without an open database. The record's key is the row's KEY when there is a row.
std::unique_ptr<KeyedChange> LookUpKeyedChange(Ledger::LedgerContext& context,
                                               const Intake::BrumevaleRegistryEvent& event,
                                               const std::u16string& userId);

// Removes the row (with its Indirection and notification rows); kind 7 with the old
// command line and altName.
void DeleteKeyedRow(KeyedChange& change, const std::u16string& altName);

// A new display name for the row (letter case ignored): kind 2, name changed. A
// missing row is not created by its name alone.
void RenameKeyedRow(KeyedChange& change, const std::u16string& displayName);

// Appends the record when it has a kind and a row key.
void AppendKeyedChange(KeyedChange& change, Ledger::ChangeRecords& records);

}  // namespace Families
