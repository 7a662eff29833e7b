// The fleet's questions over two machines that played the demo, exported and
// collected: each answer checked against the machines' own databases.

#include <sqlite3.h>

#include <filesystem>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "fleet_fixture.h"

namespace fs = std::filesystem;
using namespace FleetTest;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int64_t Count(const std::string& database, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
  const int64_t n = stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return n;
}

void Execute(const std::string& database, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(database.c_str(), &db);
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

class FleetQueries : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TemporaryFolder;
    cluster_ = new NatsCluster;
    ASSERT_TRUE(cluster_->Start(folder_->String(), 1));
    ASSERT_TRUE(WaitForJetStream(cluster_->Urls(), 20000));
    pg_ = new std::string(FreshDatabase("queries"));
    for (const Machine& machine : DemoMachines()) {
      std::string out;
      ASSERT_EQ(RunFleet({"export", "--server", cluster_->Urls(), machine.database, "--machine", machine.name}, &out), 0) << out;
    }
    std::string out;
    ASSERT_EQ(RunFleet({"collect", "--server", cluster_->Urls(), "--database", *pg_, "--drain"}, &out), 0) << out;
  }
  static void TearDownTestSuite() {
    delete cluster_;
    delete folder_;
    delete pg_;
  }
  std::string Query(const std::vector<std::string>& args, int expected = 0) {
    std::vector<std::string> argv = {"fleet", "--database", *pg_};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out;
    EXPECT_EQ(RunFleet(argv, &out), expected) << out;
    return out;
  }

  static TemporaryFolder* folder_;
  static NatsCluster* cluster_;
  static std::string* pg_;
};

TemporaryFolder* FleetQueries::folder_ = nullptr;
NatsCluster* FleetQueries::cluster_ = nullptr;
std::string* FleetQueries::pg_ = nullptr;

// An added load point whose writer is not validly signed or not known.
constexpr char kUnsignedAdds[] =
    "SELECT count(*) FROM ChangeEvents c LEFT JOIN Processes p ON p.KEY = c.PROCESS_ENTRY_KEY "
    "LEFT JOIN DigitalSignatures d ON d.KEY = p.DIGITAL_SIGNATURE_KEY "
    "WHERE c.EVENT_TYPE = 13 AND coalesce(d.VALID, 'N') <> 'Y'";

}  // namespace

TEST_F(FleetQueries, MachinesCountTheirEvents) {
  const auto lines = Lines(Query({"machines", "--format", "json"}));
  ASSERT_EQ(lines.size(), DemoMachines().size());
  for (const Machine& machine : DemoMachines()) {
    bool seen = false;
    for (const std::string& line : lines) {
      const auto row = nlohmann::json::parse(line);
      if (row["machine"] != machine.name) continue;
      seen = true;
      EXPECT_EQ(row["events"], Count(machine.database, "SELECT count(*) FROM ChangeEvents"));
      EXPECT_EQ(row["added"], Count(machine.database, "SELECT count(*) FROM ChangeEvents WHERE EVENT_TYPE = 13"));
      EXPECT_EQ(row["removed"], Count(machine.database, "SELECT count(*) FROM ChangeEvents WHERE EVENT_TYPE = 2"));
    }
    EXPECT_TRUE(seen) << machine.name;
  }
}

TEST_F(FleetQueries, NewLoadPointsAndTheUnsignedAmongThem) {
  int64_t added = 0, unsignedAdded = 0;
  for (const Machine& machine : DemoMachines()) {
    added += Count(machine.database, "SELECT count(*) FROM ChangeEvents WHERE EVENT_TYPE = 13");
    unsignedAdded += Count(machine.database, kUnsignedAdds);
  }
  ASSERT_GT(unsignedAdded, 0);
  EXPECT_EQ(Lines(Query({"new", "--since", "7d", "--format", "json"})).size(), static_cast<size_t>(added));
  // A time given is each machine's local time.
  EXPECT_EQ(Lines(Query({"new", "--since", "2000-01-01", "--format", "json"})).size(), static_cast<size_t>(added));
  EXPECT_EQ(Lines(Query({"new", "--since", "2099-01-01", "--format", "json"})).size(), 0u);
  const auto lines = Lines(Query({"new", "--since", "7d", "--unsigned", "--format", "json"}));
  EXPECT_EQ(lines.size(), static_cast<size_t>(unsignedAdded));
  for (const std::string& line : lines) EXPECT_NE(nlohmann::json::parse(line)["signatureValid"], "true") << line;
  // CSV: a header and one row per load point.
  EXPECT_EQ(Lines(Query({"new", "--since", "7d", "--unsigned", "--format", "csv"})).size(), lines.size() + 1);
  Query({"new", "--since", "yesterday"}, 2);
}

TEST_F(FleetQueries, WhereFindsTheMachinesHoldingAnEntry) {
  const auto lines = Lines(Query({"where", "PMAGENT.EXE", "--format", "json"}));
  std::set<std::string> machines;
  for (const std::string& line : lines) machines.insert(nlohmann::json::parse(line)["machine"]);
  EXPECT_EQ(machines, (std::set<std::string>{"DESK-ANNA", "LAB-07"}));
  EXPECT_EQ(Lines(Query({"where", "no such program anywhere"})).size(), 1u);  // the header alone
  // The text is matched as it is: "_" is no wildcard.
  EXPECT_EQ(Lines(Query({"where", "PMAGENT_EXE"})).size(), 1u);
}

// The operator's view: both machines were just heard from; the agent's Run value is
// on both, and the entries are counted by machine, the rarest first.
TEST_F(FleetQueries, StatusAndEntries) {
  const std::string status = Query({"status"});
  EXPECT_EQ(status.rfind("machines: 2, heard from within a day: 2\nsilent for over a day: 0\ndead letters: 0,", 0), 0u)
      << status;
  EXPECT_NE(status.find("consumer lag: not asked"), std::string::npos) << status;
  const std::string lag = Query({"status", "--server", cluster_->Urls()});
  EXPECT_NE(lag.find("consumer brumevale-events: 0 waiting, 0 unacknowledged"), std::string::npos) << lag;
  int64_t previous = 0;
  bool agent = false;
  for (const std::string& line : Lines(Query({"entries", "--format", "json"}))) {
    const auto row = nlohmann::json::parse(line);
    EXPECT_GE(row["machines"].get<int64_t>(), previous) << line;
    previous = row["machines"].get<int64_t>();
    agent = agent || (row["entry"] == "PixelMoorAgent" && row["machines"] == 2);
  }
  EXPECT_TRUE(agent);
}

// Every filter and format of the reader's history, --net included, answers from
// the central copy exactly what it answers from the machine's own record.
TEST_F(FleetQueries, HistoryIsTheMachinesOwnHistory) {
  const Machine& machine = DemoMachines()[0];
  for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
           {"--format", "json"},
           {"--type", "Run", "--format", "json"},
           {"--unattributed"},
           {"--since", "24h", "--entry", "pixelmoor", "--format", "csv"},
           {"--user", "S-1-5", "--process", "explorer", "--until", "2099-01-01"},
           {"--net"},
           {"--net", "--since", "7d", "--format", "json"},
           {"--net", "--type", "Run", "--format", "csv"}}) {
    std::vector<std::string> local = {BRUMEVALE_PROGRAM, "history", machine.database};
    local.insert(local.end(), options.begin(), options.end());
    std::string expected;
    ASSERT_EQ(RunProgram(local, &expected), 0) << expected;
    std::vector<std::string> query = {"history", "--machine", machine.name};
    query.insert(query.end(), options.begin(), options.end());
    EXPECT_EQ(Query(query), expected) << local[3];
  }
  Query({"history", "--machine", machine.name, "--type", "no such type"}, 2);
  Query({"history", "--machine", machine.name, "--verify"}, 2);
  Query({"history", "--machine", machine.name, "elsewhere.data"}, 2);
}

TEST_F(FleetQueries, AuditFindsDeletedAndAlteredEventsOnly) {
  const Machine& machine = DemoMachines()[1];
  const std::string copy = folder_->String() + "/audited.data";
  fs::copy_file(machine.database, copy, fs::copy_options::overwrite_existing);
  std::string out;
  EXPECT_EQ(RunFleet({"fleet", "--database", *pg_, "audit", "--machine", machine.name, copy}, &out), 0) << out;
  EXPECT_EQ(out, "");
  // An intruder removes the event of the agent's Run value and back-dates another.
  const int64_t removed = Count(copy, "SELECT min(KEY) FROM ChangeEvents WHERE EVENT_TYPE = 13");
  const int64_t altered = Count(copy, "SELECT max(KEY) FROM ChangeEvents WHERE EVENT_TYPE = 13");
  Execute(copy, "DELETE FROM ExtendedEvent WHERE CHANGE_EVENT_KEY = " + std::to_string(removed) +
                    "; DELETE FROM ChangeEvents WHERE KEY = " + std::to_string(removed) +
                    "; UPDATE ExtendedEvent SET PARAM_4 = 'C:\\Windows\\notepad.exe' WHERE CHANGE_EVENT_KEY = " +
                    std::to_string(altered));
  EXPECT_EQ(RunFleet({"fleet", "--database", *pg_, "audit", "--machine", machine.name, copy}, &out), 1) << out;
  const auto lines = Lines(out);
  ASSERT_EQ(lines.size(), 2u) << out;
  EXPECT_EQ(lines[0].rfind("event " + std::to_string(removed) + " ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("deleted"), std::string::npos);
  EXPECT_EQ(lines[1].rfind("event " + std::to_string(altered) + " ", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find("altered"), std::string::npos);
  EXPECT_NE(lines[1].find("PARAM_4"), std::string::npos);
  EXPECT_EQ(RunFleet({"fleet", "--database", *pg_, "audit", "--machine", "NEVER-EXPORTED", copy}, &out), 2) << out;
}
