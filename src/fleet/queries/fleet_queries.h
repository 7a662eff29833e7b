#pragma once
// brumevale fleet: questions about every machine at once, answered from the
// central tables. Each returns the process exit code and writes its answer to out,
// a problem as one line to err.

#include <iosfwd>
#include <string>
#include <vector>

#include "fleet/links/pg_link.h"
#include "fleet/queries/table_output.h"
#include "reader/commands/reader_options.h"

namespace Fleet {

// machine, machineId, lastEvent, events, added, changed, removed.
int QueryMachines(PgLink& pg, OutputFormat format, std::ostream& out, std::ostream& err);
// Load points added across the fleet within since (24h, 7d or a time) of each
// machine's latest event; unsignedOnly keeps those whose writer was not validly
// signed or is not known.
int QueryNew(PgLink& pg, const std::string& since, bool unsignedOnly, OutputFormat format, std::ostream& out,
             std::ostream& err);
// Machines whose current inventory holds an entry or command line containing text.
int QueryWhere(PgLink& pg, const std::string& text, OutputFormat format, std::ostream& out, std::ostream& err);
// The id of the one machine named name (id empty) or of the machine id itself: 0 with
// the id, 2 when the name is unknown or several machines bear it (their ids are
// listed), 1 when the database fails. Names are labels that machines may share.
int ResolveMachine(PgLink& pg, const std::string& name, const std::string& id, std::string* machineId,
                   std::ostream& err);
// One machine's exported history (the machine by id) through the reader's filters and listing (--net too).
int QueryHistory(PgLink& pg, const std::string& machineId, const Reader::ReaderOptions& options, std::ostream& out,
                 std::ostream& err);

}  // namespace Fleet
