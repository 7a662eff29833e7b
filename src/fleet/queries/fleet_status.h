#pragma once
// brumevale fleet status and entries: the operator's view of the fleet record.

#include <iosfwd>
#include <optional>

#include "fleet/links/jetstream_link.h"
#include "fleet/links/pg_link.h"
#include "fleet/queries/table_output.h"

namespace Fleet {

// How many machines report and which have been silent for over a day, the dead
// letters, and (with nats) how far each consumer is behind the stream. 0, or 1 when
// a server failed.
int QueryStatus(PgLink& pg, const std::optional<NatsSettings>& nats, std::ostream& out, std::ostream& err);
// Each entry of the current inventories with the number of machines holding it,
// the rarest first: an entry only a few machines have is the one to look at.
int QueryEntries(PgLink& pg, OutputFormat format, std::ostream& out, std::ostream& err);

}  // namespace Fleet
