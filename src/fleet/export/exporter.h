#pragma once
// brumevale export: every change event of a machine's record, oldest first, onto the
// stream, moving on only after the stream has acknowledged. Where to start is asked
// of the stream (the last message on the machine's subject), so a crash or restart
// neither loses nor repeats an event, and no state file is kept.

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "fleet/export/event_messages.h"
#include "fleet/links/jetstream_link.h"

namespace Fleet {

struct ExportOptions {
  NatsSettings nats;
  std::string database;
  MachineLabel machine;
  bool follow = false;
  // Without --follow, give up after this long without a reachable JetStream.
  int giveUpSeconds = 60;
  // With --follow, how often the record is looked at for new events.
  int pollMs = 200;
};

// 0 once everything is acknowledged (or, following, when stop is set); 1 when the
// stream stayed unreachable; 2 when the record cannot be read. Each problem is one
// line on err.
int RunExport(const ExportOptions& options, const std::atomic<bool>& stop, std::ostream& err);

}  // namespace Fleet
