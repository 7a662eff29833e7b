#pragma once
// Live writes and deletions of the ".exe" handler and the "exefile" shell verbs, for
// the machine and each user's classes hive.

#include <cstdint>

namespace Intake {
class BrumevaleRegistryEvent;
}  // namespace Intake

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

// Codes 94 to 96. A value set is recorded as EVENT_TYPE 8 every time, also when the
// value did not change; a deleted value removes its row and records EVENT_TYPE 14.
// Both carry an ExtendedEvent row with the value written and the one it replaced
// (file_extension_events.cpp says which parameter holds what).
void HandleFileExtensionEvent(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                              uint64_t processId);

}  // namespace Families
