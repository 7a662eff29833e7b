#include "ledger/load_point_state.h"

#include <algorithm>

#include "database/load_point_database.h"
#include "intake/location_codes.h"
#include "util/text_routines.h"

using Database::LoadPointDatabase;
using Database::LoadPointStateChange;
using enum Intake::LoadPointType;

namespace Ledger {

namespace {

// A service and a driver are one load point whichever row type the rescan gave it,
// and the live handler records the removal of either as type 12.
std::vector<int32_t> IdentityTypes(uint32_t type) {
  if (type == kServiceType || type == kServiceDllType || type == kDriverType) {
    return {kServiceType, kServiceDllType, kDriverType};
  }
  return {static_cast<int32_t>(type)};
}

// One text per identity: the type group's first type, the user, the name in lower
// case (names compare ignoring letter case).
std::u16string IdentityText(uint32_t type, const std::u16string& userId,
                            const std::u16string& entryName) {
  return VyrUtilities::IntToText(IdentityTypes(type).front(), 10) + u"\n" + userId + u"\n" +
         VyrUtilities::ToLower(entryName);
}

}  // namespace

void NoteDisabledInScan(FullScanState& state, uint32_t type, const std::u16string& userId,
                        const std::u16string& entryName) {
  if (state.active == 1) state.disabled.insert(IdentityText(type, userId, entryName));
}

LoadPointStateChange RemovalStateChangeInScan(const FullScanState& state, uint32_t type,
                                              const std::u16string& userId,
                                              const std::u16string& entryName) {
  return state.disabled.contains(IdentityText(type, userId, entryName))
             ? LoadPointStateChange::kDisabled
             : LoadPointStateChange::kNone;
}

LoadPointStateChange ReturnStateChange(LoadPointDatabase& database, uint32_t type,
                                       const std::u16string& userId,
                                       const std::vector<std::u16string>& names) {
  std::vector<std::u16string> known;
  for (const std::u16string& name : names) {
    if (!name.empty() && std::find(known.begin(), known.end(), name) == known.end()) {
      known.push_back(name);
    }
  }
  return database.FindLastRemovalDisabled(IdentityTypes(type), userId, known) == 1
             ? LoadPointStateChange::kEnabledAgain
             : LoadPointStateChange::kNone;
}

}  // namespace Ledger
