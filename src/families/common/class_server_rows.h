// A load point's Indirection row brought in line with the class it names: the one
// set of rules that the live handler of a class watch and the driverless re-read of
// a class key share. Each returns the kind of change and fills the ExtendedEvent's
// texts; kChangeKindNone when the row already says it.
#pragma once

#include <cstdint>
#include <string>

#include "database/load_point_database.h"
#include "ledger/change_record.h"

namespace Families {

struct ClassServerRow {
  int32_t key;
  std::u16string name;
  std::u16string commandLine;
};

// The class has a server: the row is added, or its server or name follows.
uint32_t SetClassServerRow(Database::LoadPointDatabase& database, int32_t loadPointKey,
                           const ClassServerRow* current, const std::u16string& name,
                           const std::u16string& server, Ledger::LoadPointExtEventData& data);
// The class is still there without a server: the row stays and says so.
uint32_t ClearClassServerRow(Database::LoadPointDatabase& database, const ClassServerRow& current,
                             Ledger::LoadPointExtEventData& data);
// The class is gone: so is the row.
uint32_t RemoveClassServerRow(Database::LoadPointDatabase& database, int32_t loadPointKey,
                              const ClassServerRow& current, Ledger::LoadPointExtEventData& data);

}  // namespace Families
