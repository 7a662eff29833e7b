// Machines are told apart by id, never by name: names that make the same subject
// token, and two machines of one name, each keep all their events; a query by a
// shared name is refused with the ids to choose from; a message that claims another
// machine's id on its own subject is never stored as that machine's, and does not
// move the real machine's place in the stream.

#include <sstream>

#include <nats/nats.h>

#include "fleet/links/jetstream_link.h"
#include "fleet/export/machine_identity.h"
#include "fleet_fixture.h"

using namespace FleetTest;

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(FleetIdentity, CollidingAndSharedNamesKeepTheirOwnEvents) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1));
  ASSERT_TRUE(WaitForJetStream(server.Urls(), 20000));
  const std::vector<Machine>& machines = DemoMachines();
  struct Exported {
    const Machine& machine;
    std::string name, id;
  };
  const std::vector<Exported> exported = {{machines[0], "LAB.PC", Fleet::MachineIdOfName("LAB.PC")},
                                          {machines[1], "LAB_PC", Fleet::MachineIdOfName("LAB_PC")},
                                          {machines[0], "TWIN", "twin-a"},
                                          {machines[1], "TWIN", "twin-b"}};
  std::string out;
  for (const Exported& e : exported)
    ASSERT_EQ(RunFleet({"export", "--server", server.Urls(), e.machine.database, "--machine", e.name, "--machine-id", e.id},
                       &out), 0) << out;
  const std::string pg = FreshDatabase("identity");
  ASSERT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", pg, "--drain"}, &out), 0) << out;
  for (const Exported& e : exported) EXPECT_EQ(CollectedEventsOfId(pg, e.id), LocalEvents(e.machine.database)) << e.name;

  // LAB_PC's subject, a body claiming LAB.PC's id and a key far ahead.
  Fleet::JetStreamLink link;
  std::string error;
  ASSERT_TRUE(link.Connect({{server.Urls()}}, &error)) << error;
  const std::string forged = R"({"machine":"LAB.PC","machineId":")" + exported[0].id +
                             R"(","key":99999,"raw":{"ChangeEvents":{"KEY":99999,"EVENT_TIME":"2024-05-01 10:00:00"}}})";
  const std::string subject = Fleet::EventSubject(exported[1].id);
  jsPubAck* ack = nullptr;
  ASSERT_EQ(js_Publish(&ack, link.Context(), subject.c_str(), forged.data(), static_cast<int>(forged.size()), nullptr,
                       nullptr), NATS_OK);
  jsPubAck_Destroy(ack);
  // And a snapshot's closing message delivered again, after its snapshot is in place.
  std::optional<Fleet::StoredMessage> closing;
  ASSERT_TRUE(link.LastMessage(Fleet::InventorySubject(exported[0].id), &closing, &error) && closing) << error;
  const std::string closingSubject = Fleet::InventorySubject(exported[0].id);
  ASSERT_EQ(js_Publish(&ack, link.Context(), closingSubject.c_str(), closing->data.data(),
                       static_cast<int>(closing->data.size()), nullptr, nullptr), NATS_OK);
  jsPubAck_Destroy(ack);
  const auto inventory = PgRows(pg, "SELECT machine_id, count(*) FROM fleet_inventory GROUP BY 1 ORDER BY 1");
  ASSERT_EQ(RunFleet({"export", "--server", server.Urls(), machines[1].database, "--machine", "LAB_PC"}, &out), 0) << out;
  EXPECT_TRUE(Contains(out, "does not match this machine's record")) << out;
  ASSERT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", pg, "--drain"}, &out, 30000), 0) << out;
  EXPECT_TRUE(Contains(out, "1 messages moved")) << out;
  EXPECT_EQ(PgRows(pg, "SELECT machine_id, count(*) FROM fleet_inventory GROUP BY 1 ORDER BY 1"), inventory);
  EXPECT_EQ(inventory.size(), exported.size());
  for (const Exported& e : exported) EXPECT_EQ(CollectedEventsOfId(pg, e.id), LocalEvents(e.machine.database)) << e.name;

  // The shared name is refused with both ids; each id answers for its own machine.
  EXPECT_EQ(RunFleet({"fleet", "--database", pg, "history", "--machine", "TWIN"}, &out), 2) << out;
  EXPECT_TRUE(Contains(out, "2 machines are named TWIN") && Contains(out, "twin-a twin-b")) << out;
  EXPECT_EQ(RunFleet({"fleet", "--database", pg, "history", "--machine", "NOBODY"}, &out), 2) << out;
  EXPECT_TRUE(Contains(out, "no machine named NOBODY")) << out;
  EXPECT_EQ(RunFleet({"fleet", "--database", pg, "audit", "--machine-id", "nobody-id", machines[0].database}, &out), 2);
  std::string local;
  ASSERT_EQ(RunProgram({BRUMEVALE_PROGRAM, "history", machines[1].database, "--format", "json"}, &local), 0) << local;
  EXPECT_EQ(RunFleet({"fleet", "--database", pg, "history", "--machine-id", "twin-b", "--format", "json"}, &out), 0);
  EXPECT_EQ(out, local);
  // Untouched records: no line of the audit of either twin blames it.
  for (const Exported& e : exported) {
    EXPECT_EQ(RunFleet({"fleet", "--database", pg, "audit", "--machine-id", e.id, e.machine.database}, &out), 0) << out;
    EXPECT_EQ(out, "") << e.name;
  }
  ASSERT_EQ(RunFleet({"fleet", "--database", pg, "machines", "--format", "csv"}, &out), 0) << out;
  EXPECT_TRUE(Contains(out, "TWIN,twin-a,") && Contains(out, "TWIN,twin-b,")) << out;
}
