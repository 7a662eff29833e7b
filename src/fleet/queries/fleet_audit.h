#pragma once
// brumevale fleet audit: a machine's own database against its exported copy. Every
// exported event must still be on the machine, column for column; one that is gone
// or differs was deleted or altered after it left the machine.

#include <iosfwd>
#include <string>

#include "fleet/links/pg_link.h"

namespace Fleet {

// 1 when it finds any deleted or altered event (one line each), 0 when none, 2 when
// the database cannot be read or the machine (by id) was never exported.
int AuditMachine(PgLink& pg, const std::string& machineId, const std::string& database, std::ostream& out,
                 std::ostream& err);

}  // namespace Fleet
