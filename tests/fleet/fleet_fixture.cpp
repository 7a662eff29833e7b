#include "fleet_fixture.h"

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "fleet/links/jetstream_link.h"
#include "fleet/export/machine_identity.h"

namespace fs = std::filesystem;

namespace FleetTest {

std::string ReadFile(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

Machine MakeMachine(const std::string& folder, const std::string& name) {
  Machine machine{name, folder + "/" + name, ""};
  fs::copy(std::string(BRUMEVALE_SOURCE_DIR) + "/examples/demo-machine", machine.image, fs::copy_options::recursive);
  nlohmann::json manifest = nlohmann::json::parse(ReadFile(machine.image + "/machine.json"));
  manifest["computerName"] = name;
  std::ofstream(machine.image + "/machine.json") << manifest.dump(2);
  machine.database = machine.image + "/drives/C/ProgramData/Kelvra Security/Brumevale/Brumevale.data";
  return machine;
}

std::string WriteScenario(const std::string& path, int extraValues) {
  std::ofstream out(path);
  out << ReadFile(std::string(BRUMEVALE_SOURCE_DIR) + "/examples/demo.scenario") << "\n";
  for (int i = 0; i < extraValues; ++i)
    out << "4120 reg add \"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\" /v Helper" << i
        << " /t REG_SZ /d \"C:\\Tools\\helper" << i << ".exe\" /f\n";
  return path;
}

bool StartSimulation(const Machine& machine, const std::string& scenario, ChildProcess* process,
                     const std::string& log) {
  return process->Start({BRUMEVALE_SIM_PROGRAM, "run", machine.image, "--scenario", scenario}, log);
}

namespace {

struct DemoSet {
  TemporaryFolder folder;
  std::vector<Machine> machines;
};

}  // namespace

const std::vector<Machine>& DemoMachines() {
  static DemoSet* set = [] {
    auto* made = new DemoSet;
    const std::string scenario = WriteScenario(made->folder.String() + "/demo.scenario", 0);
    ChildProcess sims[2];
    for (int i = 0; i < 2; ++i) {
      made->machines.push_back(MakeMachine(made->folder.String(), i == 0 ? "DESK-ANNA" : "LAB-07"));
      StartSimulation(made->machines[i], scenario, &sims[i], made->folder.String() + "/sim" + std::to_string(i) + ".log");
    }
    for (ChildProcess& sim : sims) sim.Wait(120000);
    return made;
  }();
  return set->machines;
}

namespace {

struct SharedServer {
  TemporaryFolder folder;
  PostgresServer server;
  bool started = false;
};

SharedServer& Shared() {
  static SharedServer shared;
  static std::once_flag once;
  std::call_once(once, [] { shared.started = shared.server.Start(shared.folder.String()); });
  return shared;
}

}  // namespace

PostgresServer& SharedPostgres() {
  EXPECT_TRUE(Shared().started) << "PostgreSQL did not start: " << ReadFile(Shared().folder.String() + "/pg/server.log");
  return Shared().server;
}

std::string FreshDatabase(const std::string& prefix) {
  static int count = 0;
  const std::string name = prefix + "_" + std::to_string(++count);
  EXPECT_TRUE(SharedPostgres().CreateDatabase(name));
  return SharedPostgres().Conninfo(name);
}

std::vector<std::string> FleetArgv(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {BRUMEVALE_PROGRAM};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

int RunFleet(const std::vector<std::string>& args, std::string* out, int timeoutMs) {
  return RunProgram(FleetArgv(args), out, timeoutMs);
}

std::vector<std::vector<std::string>> PgRows(const std::string& conninfo, const std::string& sql) {
  Fleet::PgLink pg;
  std::string error;
  std::vector<Fleet::PgRow> rows;
  EXPECT_TRUE(pg.Connect(conninfo, &error) && pg.Exec(sql, {}, &error, &rows)) << error;
  std::vector<std::vector<std::string>> out;
  for (const Fleet::PgRow& row : rows) {
    std::vector<std::string> cells;
    for (const auto& cell : row) cells.push_back(cell.value_or(""));
    out.push_back(cells);
  }
  return out;
}

std::vector<std::string> LocalEvents(const std::string& database) {
  sqlite3* db = nullptr;
  std::vector<std::string> rows;
  sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT KEY || '|' || EVENT_TIME || '|' || EVENT_TYPE || '|' || LOAD_POINT_KEY || '|' || "
                     "PROCESS_ENTRY_KEY FROM ChangeEvents ORDER BY KEY",
                     -1, &stmt, nullptr);
  while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW)
    rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

std::vector<std::string> CollectedEvents(const std::string& conninfo, const std::string& machine) {
  return CollectedEventsOfId(conninfo, Fleet::MachineIdOfName(machine));
}

std::vector<std::string> CollectedEventsOfId(const std::string& conninfo, const std::string& machineId) {
  std::vector<std::string> rows;
  for (const auto& row : PgRows(conninfo, std::string("SELECT key || '|' || ") + kLocalEventTime +
                                              " || '|' || event_type || '|' || load_point_key || '|' || "
                                              "process_entry_key FROM fleet_events JOIN fleet_machine_keys "
                                              "USING (machine_key) WHERE machine_id = '" + machineId + "' ORDER BY key"))
    rows.push_back(row[0]);
  return rows;
}

std::map<std::string, uint64_t> SubjectCounts(const std::string& urls, const std::string& filter) {
  std::map<std::string, uint64_t> counts;
  Fleet::JetStreamLink link;
  std::string error;
  Fleet::NatsSettings settings;
  std::stringstream list(urls);
  for (std::string url; std::getline(list, url, ',');) settings.servers.push_back(url);
  if (!link.Connect(settings, &error)) return counts;
  jsOptions opts;
  jsOptions_Init(&opts);
  opts.Stream.Info.SubjectsFilter = filter.c_str();
  jsStreamInfo* info = nullptr;
  if (js_GetStreamInfo(&info, link.Context(), Fleet::kStreamName, &opts, nullptr) != NATS_OK) return counts;
  if (info->State.Subjects != nullptr)
    for (int i = 0; i < info->State.Subjects->Count; ++i)
      counts[info->State.Subjects->List[i].Subject] = info->State.Subjects->List[i].Msgs;
  jsStreamInfo_Destroy(info);
  return counts;
}

bool WaitForJetStream(const std::string& urls, int timeoutMs, bool setUp) {
  Fleet::NatsSettings settings;
  std::stringstream list(urls);
  for (std::string url; std::getline(list, url, ',');) settings.servers.push_back(url);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < until) {
    Fleet::JetStreamLink link;
    std::string error;
    jsAccountInfo* info = nullptr;
    if (link.Connect(settings, &error) && js_GetAccountInfo(&info, link.Context(), nullptr, nullptr) == NATS_OK) {
      jsAccountInfo_Destroy(info);
      const std::string replicas = std::to_string(std::min<size_t>(settings.servers.size(), 3));
      std::string out;
      // A cluster still electing the stream's leader refuses for a moment.
      while (setUp && RunFleet({"fleet", "setup", "--server", urls, "--replicas", replicas, "--max-bytes", "1G"}, &out) != 0)
        if (std::chrono::steady_clock::now() > until) return ADD_FAILURE() << out, false;
        else std::this_thread::sleep_for(std::chrono::milliseconds(200));
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return false;
}

}  // namespace FleetTest
