#pragma once
// The layout of the central tables in PostgreSQL, brought up to date by `fleet migrate`
// (as the tables' owner), and the upkeep of the events' monthly partitions.
//   fleet_machine_keys  each machine id's bigint key, what every event row carries
//   fleet_events        one row per event, partitioned by month of its UTC time
//   fleet_event_keys    each stored (machine key, event key): unique across partitions
//   fleet_machines      each machine's name, latest event, counters and last contact
//   fleet_inventory     the latest complete inventory of each machine
// plus fleet_inventory_parts (snapshots still arriving), fleet_dead_letters, fleet_schema.

#include <string>

#include "fleet/links/pg_link.h"

namespace Fleet {

// 1 the first (no fleet_schema); 2 the message bytes and the query indexes; 3 the
// machine key, UTC times, monthly partitions and the machines' counters.
constexpr int kFleetSchemaVersion = 3;

// Creates what is missing, brings older tables to kFleetSchemaVersion (recorded in
// fleet_schema) and makes the partitions of the months from the oldest event to three
// months ahead. Run it monthly (cron) as well: events of a month without a partition
// go to the default partition, and the month's partition takes them when it is made.
bool MigrateFleetTables(PgLink& pg, std::string* error);
// The collector's start: nothing to do when the tables are at this build's version
// (a role with row rights only may run it); otherwise it migrates them itself when
// it may, and says to run fleet migrate when it may not. Several may start at once.
bool EnsureFleetTables(PgLink& pg, std::string* error);
// Drops the months of events that ended more than keepMonths whole months before the
// current one (and older strays in the default partition), with their keys, and takes
// them off the machines' counters. dropped receives how many events went.
bool PruneFleetEvents(PgLink& pg, int keepMonths, int64_t* dropped, std::string* error);

}  // namespace Fleet
