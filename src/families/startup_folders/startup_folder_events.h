#pragma once
// Files written into the watched folders: a startup-folder file is a load point of
// its own, a tasks-folder file is the definition of a scheduled task.

#include <cstdint>

namespace Intake {
class BrumevaleFileEvent;
}  // namespace Intake

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

// Any file event of the four folder codes other than a rename's old name or a
// deletion. Every write to a startup file is recorded (added, else changed), with
// the process that wrote it and the entry's type, name, user and path.
void HandleFolderFileEvent(Ledger::LedgerContext& context, const Intake::BrumevaleFileEvent& event,
                           uint64_t processId);

// A file of a watched folder deleted, or renamed away from the event's name: its
// startup-folder row goes, recorded as a removal by that process with the entry's
// type, name, user and last path. 1 when a row was removed; 0 for the tasks
// folders, whose files are no load points of their own.
int32_t HandleFolderFileRemoval(Ledger::LedgerContext& context, const Intake::BrumevaleFileEvent& event,
                                uint64_t processId);

}  // namespace Families
