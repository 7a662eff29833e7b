#pragma once
// brumevale fleet replay: the dead letters go back on the subjects they came from,
// once their cause is fixed (a constraint dropped, a column widened), and leave
// brumevale.dead and fleet_dead_letters. One that is still refused is moved aside
// again by the collector, with a new sequence.

#include <iosfwd>

#include "fleet/links/jetstream_link.h"
#include "fleet/links/pg_link.h"

namespace Fleet {

// 0 when every dead letter was put back (or there was none), 1 when a server failed.
int ReplayDeadLetters(const NatsSettings& nats, PgLink& pg, std::ostream& out, std::ostream& err);

}  // namespace Fleet
