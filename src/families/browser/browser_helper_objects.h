#pragma once
// The Browser Helper Object scanner, run by the full rescan and, with recordNew, by
// the dispatcher after a watcher thread saw a subkey appear or vanish.

#include <cstdint>

#include "intake/location_codes.h"

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

// The keys whose subkeys are the helper objects; the engine's watcher threads wait on
// them too.
inline constexpr char16_t kBrowserHelperObjectsKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
inline constexpr char16_t kBrowserHelperObjectsWow64Key[] =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";

// Native key then the WOW64 one. startFlag 1 refreshes the classes of all stored rows;
// recordNew 1 records EVENT_TYPE 1 (process key 0) for every row added.
void ScanBrowserHelperObjects(Ledger::LedgerContext& context, int32_t startFlag, int32_t recordNew);

}  // namespace Families
