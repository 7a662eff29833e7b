#pragma once
// brumevale collect: two durable pull consumers of the stream (events and
// inventories; a 2.9 consumer takes one filter) written into PostgreSQL, a batch per
// transaction, each message acknowledged only after its batch is committed. Several
// collectors may run at once; they share the consumers. A message that is not valid
// goes to brumevale.dead.<machine> with its reason and never blocks the rest.

#include <atomic>
#include <iosfwd>
#include <string>

#include "fleet/links/jetstream_link.h"

namespace Fleet {

struct CollectOptions {
  NatsSettings nats;
  std::string conninfo;
  bool drain = false;       // exit 0 once both consumers have nothing left
  int giveUpSeconds = 60;   // without a reachable JetStream at start
  int batch = 2000;
};

// 0 when stopped or drained; 1 when PostgreSQL or JetStream cannot be reached at start.
int RunCollect(const CollectOptions& options, const std::atomic<bool>& stop, std::ostream& err);

}  // namespace Fleet
