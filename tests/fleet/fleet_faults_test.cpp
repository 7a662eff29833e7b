// Twenty machines export at once into a three-node cluster while a node, an
// exporter and a collector are killed and come back: afterwards the central table
// holds every machine's change events row for row, nothing missing, nothing twice.

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "fleet/export/machine_identity.h"
#include "fleet_fixture.h"

namespace fs = std::filesystem;
using namespace FleetTest;

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct Fleetwide {
  TemporaryFolder folder;
  NatsCluster cluster;
  std::string pg;
  std::vector<Machine> machines;
  std::vector<std::unique_ptr<ChildProcess>> sims, exporters, collectors;

  std::string Log(const std::string& name) const { return folder.String() + "/" + name + ".log"; }

  void StartExporter(size_t i, bool follow) {
    exporters[i] = std::make_unique<ChildProcess>();
    std::vector<std::string> args = {"export", "--server", cluster.Urls(), machines[i].database,
                                     "--machine", machines[i].name};
    if (follow) args.push_back("--follow");
    ASSERT_TRUE(exporters[i]->Start(FleetArgv(args), Log("export-" + machines[i].name)));
  }

  void StartCollector(size_t i) {
    collectors[i] = std::make_unique<ChildProcess>();
    ASSERT_TRUE(collectors[i]->Start(FleetArgv({"collect", "--server", cluster.Urls(), "--database", pg}),
                                     Log("collect-" + std::to_string(i))));
  }
};

}  // namespace

TEST(FleetFaults, TwentyMachinesThroughNodeExporterAndCollectorKills) {
  Fleetwide f;
  fs::create_directories(f.folder.Path() / "nats");
  ASSERT_TRUE(f.cluster.Start((f.folder.Path() / "nats").string(), 3));
  ASSERT_TRUE(WaitForJetStream(f.cluster.Urls(), 30000));
  f.pg = FreshDatabase("faults");
  const size_t count = 20;
  f.sims.resize(count);
  f.exporters.resize(count);
  f.collectors.resize(2);
  for (size_t i = 0; i < count; ++i) {
    f.machines.push_back(MakeMachine(f.folder.String(), "PC-" + std::to_string(100 + i)));
    const std::string scenario =
        WriteScenario(f.folder.String() + "/scenario" + std::to_string(i), 2 * static_cast<int>(i));
    f.sims[i] = std::make_unique<ChildProcess>();
    ASSERT_TRUE(StartSimulation(f.machines[i], scenario, f.sims[i].get(), f.Log("sim-" + f.machines[i].name)));
  }
  f.StartCollector(0);
  f.StartCollector(1);

  // Each exporter follows its machine from the moment the service has made its database.
  size_t following = 0;
  for (int wait = 0; following < count && wait < 600; ++wait, Sleep(100))
    for (size_t i = 0; i < count; ++i)
      if (!f.exporters[i] && fs::exists(f.machines[i].database)) {
        f.StartExporter(i, true);
        ++following;
      }
  ASSERT_EQ(following, count);

  // The faults, while the machines still play their scenarios.
  Sleep(1500);
  f.cluster.KillNode(1);
  Sleep(1500);
  f.exporters[3]->Kill();
  f.collectors[0]->Kill();
  Sleep(1000);
  f.StartExporter(3, true);
  ASSERT_TRUE(f.cluster.RestartNode(1));
  f.StartCollector(0);

  for (size_t i = 0; i < count; ++i) ASSERT_EQ(f.sims[i]->Wait(180000), 0) << f.machines[i].name;
  for (size_t i = 0; i < count; ++i) EXPECT_EQ(f.exporters[i]->Stop(), 0) << ReadFile(f.Log("export-" + f.machines[i].name));
  // A last run of every exporter takes what the followers had not yet sent, and
  // starts where the stream stands.
  for (size_t i = 0; i < count; ++i) f.StartExporter(i, false);
  for (size_t i = 0; i < count; ++i)
    EXPECT_EQ(f.exporters[i]->Wait(120000), 0) << ReadFile(f.Log("export-" + f.machines[i].name));
  for (size_t i = 0; i < f.collectors.size(); ++i)
    EXPECT_EQ(f.collectors[i]->Stop(), 0) << ReadFile(f.Log("collect-" + std::to_string(i)));
  std::string drained;
  ASSERT_EQ(RunFleet({"collect", "--server", f.cluster.Urls(), "--database", f.pg, "--drain"}, &drained), 0) << drained;

  const auto streamCounts = SubjectCounts(f.cluster.Urls(), "brumevale.events.>");
  for (const Machine& machine : f.machines) {
    const std::vector<std::string> local = LocalEvents(machine.database);
    ASSERT_FALSE(local.empty()) << machine.name;
    EXPECT_EQ(CollectedEvents(f.pg, machine.name), local) << machine.name;
    const auto stored = streamCounts.find("brumevale.events." + Fleet::MachineIdOfName(machine.name));
    EXPECT_EQ(stored == streamCounts.end() ? 0 : stored->second, local.size()) << machine.name << ": repeats in the stream";
  }
  // Every machine's inventory is the one of its latest rescan, complete.
  const auto inventories = PgRows(f.pg, "SELECT m.machine, m.snapshot, count(i.*) FROM fleet_machines m "
                                        "LEFT JOIN fleet_inventory i USING (machine_id) GROUP BY 1, 2 ORDER BY 1");
  ASSERT_EQ(inventories.size(), count);
  for (const auto& row : inventories) EXPECT_NE(row[2], "0") << row[0];
}
