#pragma once
// Live changes of the watched policy and shell settings: a process that writes or
// clears one of them is recorded with the setting's new value.

#include <cstdint>

namespace Intake {
class BrumevaleRegistryEvent;
}  // namespace Intake

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

// Codes 76 to 93. Stores the new value text (empty for a deleted value) and, when it
// differs from the stored one, records EVENT_TYPE 7 with the writing process.
void HandleSettingEvent(Ledger::LedgerContext& context, const Intake::BrumevaleRegistryEvent& event,
                        uint64_t processId);

}  // namespace Families
