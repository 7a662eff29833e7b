#pragma once
// What the fleet tests share: simulated machines (the demo image under other
// computer names, each playing a scenario), the brumevale program, one
// PostgreSQL instance for the whole suite (a database per test) and reading the
// central tables back.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "child_process.h"
#include "fleet/links/pg_link.h"
#include "fleet_servers.h"
#include "support/temporary_folder.h"

namespace FleetTest {

struct Machine {
  std::string name;
  std::string image;     // the image folder
  std::string database;  // its Brumevale.data
};

// The demo image copied to folder/<name> with its computer name set.
Machine MakeMachine(const std::string& folder, const std::string& name);
// The demo scenario, followed by extra Run values that the user's shell adds.
std::string WriteScenario(const std::string& path, int extraValues);
// brumevale-sim run in the background; the caller waits.
bool StartSimulation(const Machine& machine, const std::string& scenario, ChildProcess* process,
                     const std::string& log);

// Two machines that played the demo scenario, made once for the suite.
const std::vector<Machine>& DemoMachines();

// The suite's PostgreSQL, started on first use; a fresh database for each call.
PostgresServer& SharedPostgres();
std::string FreshDatabase(const std::string& prefix);

// brumevale with the arguments (export, collect or fleet first); its exit code and its output.
int RunFleet(const std::vector<std::string>& args, std::string* out = nullptr, int timeoutMs = 120000);
std::vector<std::string> FleetArgv(const std::vector<std::string>& args);

// Rows of a query as text ("" for NULL).
std::vector<std::vector<std::string>> PgRows(const std::string& conninfo, const std::string& sql);
// KEY|EVENT_TIME|EVENT_TYPE|LOAD_POINT_KEY|PROCESS_ENTRY_KEY of every ChangeEvents row.
std::vector<std::string> LocalEvents(const std::string& database);
// An event row's local time, from its UTC time and the machine's offset (SQL).
constexpr char kLocalEventTime[] =
    "to_char((event_at AT TIME ZONE 'UTC') + make_interval(mins => coalesce(utc_offset, 0)), 'YYYY-MM-DD HH24:MI:SS')";
// The same of one machine's rows in fleet_events.
std::vector<std::string> CollectedEvents(const std::string& conninfo, const std::string& machine);
// The same of the machine with that id.
std::vector<std::string> CollectedEventsOfId(const std::string& conninfo, const std::string& machineId);
// How many messages the stream holds on each subject below prefix.
std::map<std::string, uint64_t> SubjectCounts(const std::string& urls, const std::string& filter);
// True once the cluster answers JetStream requests; with setUp, brumevale fleet setup
// has then made the streams and consumers (one replica per node, three at most).
bool WaitForJetStream(const std::string& urls, int timeoutMs, bool setUp = true);

std::string ReadFile(const std::string& path);

}  // namespace FleetTest
