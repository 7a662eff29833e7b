#pragma once
// Files written into the watched folders: a startup-folder file is a load point of
// its own, a tasks-folder file is the definition of a scheduled task.

#include <cstdint>

class LedgerContext;
class BrumevaleFileEvent;

// Any file event of the four folder codes other than a rename's old name or a
// deletion. Every write to a startup file is recorded (added, else changed), with
// the process that wrote it. Always 1.
int32_t HandleFolderFileEvent(LedgerContext& context, const BrumevaleFileEvent& event,
                              uint64_t processId);
