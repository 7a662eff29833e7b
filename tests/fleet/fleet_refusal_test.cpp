// PostgreSQL refusing the collector: for a while (a revoked grant, a read-only
// database during a failover, a table locked past the lock timeout) nothing is
// lost or moved aside; for good (one message's data) only that message is moved
// aside, after the commit, and `fleet replay` puts it back once the cause is fixed.
// A second, different event under a stored machine id and key is a conflict.

#include <chrono>
#include <thread>

#include <nats/nats.h>

#include "fleet/links/jetstream_link.h"
#include "fleet/export/machine_identity.h"
#include "fleet_fixture.h"

using namespace FleetTest;

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string As(std::string conninfo, const std::string& user) {
  return conninfo.replace(conninfo.find("user=postgres"), 13, "user=" + user);
}

void Sql(const std::string& conninfo, const std::string& sql) {
  Fleet::PgLink pg;
  std::string error;
  ASSERT_TRUE(pg.Connect(conninfo, &error) && pg.Exec(sql, &error)) << sql << ": " << error;
}

bool WaitCollected(const std::string& pg, const std::string& machine, const std::vector<std::string>& local) {
  for (int wait = 0; wait < 600; ++wait, Sleep(100))
    if (CollectedEvents(pg, machine) == local) return true;
  return false;
}

std::string Event(const std::string& machine, int key, const std::string& type, const std::string& note) {
  return R"({"machine":")" + machine + R"(","machineId":")" + Fleet::MachineIdOfName(machine) + R"(","key":)" +
         std::to_string(key) + R"(,"note":")" + note + R"(","raw":{"ChangeEvents":{"KEY":)" + std::to_string(key) +
         R"(,"EVENT_TIME":"2024-05-01 10:00:00","EVENT_TYPE":)" + type + "}}}";
}

}  // namespace

TEST(FleetRefusal, PassingRefusalsLoseNothing) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1));
  ASSERT_TRUE(WaitForJetStream(server.Urls(), 20000));
  // A server of this test's own: the read-only phase changes the server's settings.
  PostgresServer postgres;
  ASSERT_TRUE(postgres.Start(folder.String())) << ReadFile(folder.String() + "/pg/server.log");
  const std::string owner = postgres.Conninfo();
  Sql(owner, "CREATE ROLE fleet_writer LOGIN; GRANT CREATE ON SCHEMA public TO fleet_writer; "
             "ALTER ROLE fleet_writer SET lock_timeout = '200ms'");
  const std::string writer = As(owner, "fleet_writer");
  ChildProcess collector;
  const std::string log = folder.String() + "/collect.log";
  ASSERT_TRUE(collector.Start(FleetArgv({"collect", "--server", server.Urls(), "--database", writer}), log));
  const std::string database = DemoMachines()[0].database;
  const std::vector<std::string> local = LocalEvents(database);
  auto exportAs = [&](const std::string& name) {
    std::string out;
    ASSERT_EQ(RunFleet({"export", "--server", server.Urls(), database, "--machine", name}, &out), 0) << out;
  };
  for (int wait = 0; wait < 100 && PgRows(owner, "SELECT to_regclass('fleet_events')")[0][0].empty(); ++wait) Sleep(100);

  Sql(owner, "REVOKE INSERT ON fleet_events FROM fleet_writer");
  exportAs("REVOKED");
  Sleep(3000);
  Sql(owner, "GRANT INSERT ON fleet_events TO fleet_writer");
  EXPECT_TRUE(WaitCollected(writer, "REVOKED", local));

  // A failover's read-only moment, seen by the collector's open session.
  Sql(owner, "ALTER SYSTEM SET default_transaction_read_only = on");
  Sql(owner, "SELECT pg_reload_conf()");
  exportAs("READONLY");
  Sleep(3000);
  {
    Fleet::PgLink pg;
    std::string error;
    ASSERT_TRUE(pg.Connect(owner, &error) && pg.Exec("SET default_transaction_read_only = off", &error) &&
                pg.Exec("ALTER SYSTEM RESET default_transaction_read_only", &error) &&
                pg.Exec("SELECT pg_reload_conf()", &error)) << error;
  }
  EXPECT_TRUE(WaitCollected(writer, "READONLY", local));

  {
    Fleet::PgLink lock;
    std::string error;
    ASSERT_TRUE(lock.Connect(owner, &error) && lock.Exec("BEGIN; LOCK TABLE fleet_events IN ACCESS EXCLUSIVE MODE", &error))
        << error;
    exportAs("LOCKED");
    Sleep(3000);
    ASSERT_TRUE(lock.Exec("COMMIT", &error)) << error;
  }
  EXPECT_TRUE(WaitCollected(writer, "LOCKED", local));
  EXPECT_EQ(collector.Stop(), 0);

  const std::string said = ReadFile(log);
  for (const char* state : {"SQLSTATE 42501", "SQLSTATE 25006", "SQLSTATE 55P03"}) EXPECT_TRUE(Contains(said, state)) << said;
  EXPECT_FALSE(Contains(said, "moved")) << said;
  EXPECT_EQ(PgRows(owner, "SELECT count(*) FROM fleet_dead_letters")[0][0], "0");
  EXPECT_TRUE(SubjectCounts(server.Urls(), "brumevale.dead.>").empty());
}

TEST(FleetRefusal, PoisonAndConflictsMovedAsideThenReplayed) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1));
  ASSERT_TRUE(WaitForJetStream(server.Urls(), 20000));
  const std::string pg = FreshDatabase("poison");
  std::string out;
  // The tables first, so that the operator's constraint is in place.
  ASSERT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", pg, "--drain"}, &out), 0) << out;
  Sql(pg, "ALTER TABLE fleet_events ADD CONSTRAINT known_types CHECK (event_type < 1000)");
  Fleet::JetStreamLink link;
  std::string error;
  ASSERT_TRUE(link.Connect({{server.Urls()}}, &error)) << error;
  auto publish = [&](const std::string& machine, const std::string& data) {
    const std::string subject = Fleet::EventSubject(Fleet::MachineIdOfName(machine));
    jsPubAck* ack = nullptr;
    ASSERT_EQ(js_Publish(&ack, link.Context(), subject.c_str(), data.data(), static_cast<int>(data.size()), nullptr, nullptr),
              NATS_OK);
    jsPubAck_Destroy(ack);
  };
  publish("TWICE", Event("TWICE", 7, "2", "first"));
  ASSERT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", pg, "--drain"}, &out), 0) << out;

  const Machine& machine = DemoMachines()[0];
  ASSERT_EQ(RunFleet({"export", "--server", server.Urls(), machine.database, "--machine", machine.name}, &out), 0) << out;
  // Each message moved aside is terminated, and the server says so.
  natsSubscription* terminated = nullptr;
  ASSERT_EQ(natsConnection_SubscribeSync(&terminated, link.Connection(),
                                         "$JS.EVENT.ADVISORY.CONSUMER.MSG_TERMINATED.>"), NATS_OK);
  natsConnection_Flush(link.Connection());
  publish("TWICE", Event("TWICE", 7, "2", "second"));   // differs from the stored event
  publish("TWICE", Event("TWICE", 8, "2", "first"));
  publish("TWICE", Event("TWICE", 8, "2", "first"));    // a repeat
  publish("TWICE", Event("TWICE", 8, "2", "second"));   // differs within the batch
  publish("ODD", Event("ODD", 1, "5000", "x"));         // refused by the operator's constraint
  publish("HUGE", Event("HUGE", 1, "1099511627776", "x"));  // too large for the column
  const std::string hidden = Event("NUL", 1, "2", "Run\\u0000hidden \\\\u0000 kept \xc3\xa9");
  publish("NUL", hidden);  // U+0000 inside a value, a backslash before "u0000", a character beyond ASCII
  ASSERT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", pg, "--drain"}, &out), 0) << out;
  EXPECT_TRUE(Contains(out, "4 messages moved to brumevale.dead")) << out;
  EXPECT_EQ(CollectedEvents(pg, machine.name), LocalEvents(machine.database));
  EXPECT_EQ(PgRows(pg, "SELECT key, event->>'note' FROM fleet_events JOIN fleet_machines USING (machine_key) WHERE machine = 'TWICE' ORDER BY key"),
            (std::vector<std::vector<std::string>>{{"7", "first"}, {"8", "first"}}));
  // The bytes kept exactly; the jsonb shows U+0000 as U+2400 and leaves the rest.
  EXPECT_EQ(PgRows(pg, "SELECT convert_from(message, 'UTF8'), event->>'note' FROM fleet_events JOIN fleet_machines USING (machine_key) WHERE machine = 'NUL'"),
            (std::vector<std::vector<std::string>>{{hidden, "Run\u2400hidden \\u0000 kept \u00e9"}}));
  int advisories = 0;
  for (int wait = 0; wait < 20 && advisories < 4; ++wait, Sleep(100))
    ASSERT_EQ(natsSubscription_GetPending(terminated, &advisories, nullptr), NATS_OK);
  EXPECT_EQ(advisories, 4);
  natsSubscription_Destroy(terminated);
  const auto reasons = PgRows(pg, "SELECT reason FROM fleet_dead_letters ORDER BY stream_sequence");
  ASSERT_EQ(reasons.size(), 4u);
  EXPECT_TRUE(Contains(reasons[0][0], "conflict")) << reasons[0][0];
  EXPECT_TRUE(Contains(reasons[1][0], "conflict")) << reasons[1][0];
  EXPECT_TRUE(Contains(reasons[2][0], "SQLSTATE 23514")) << reasons[2][0];
  EXPECT_TRUE(Contains(reasons[3][0], "SQLSTATE 22003")) << reasons[3][0];
  auto dead = SubjectCounts(server.Urls(), "brumevale.dead.>");
  EXPECT_EQ(dead[Fleet::DeadSubject(Fleet::MachineIdOfName("TWICE"))], 2u);
  EXPECT_EQ(dead[Fleet::DeadSubject(Fleet::MachineIdOfName("ODD"))], 1u);

  // The constraint dropped, the letters go back: the one it refused is stored, the
  // others are moved aside once more, each once.
  Sql(pg, "ALTER TABLE fleet_events DROP CONSTRAINT known_types");
  ASSERT_EQ(RunFleet({"fleet", "--database", pg, "replay", "--server", server.Urls()}, &out), 0) << out;
  EXPECT_TRUE(Contains(out, "4 dead letters put back")) << out;
  ASSERT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", pg, "--drain"}, &out), 0) << out;
  EXPECT_TRUE(Contains(out, "3 messages moved to brumevale.dead")) << out;
  EXPECT_EQ(PgRows(pg, "SELECT event_type FROM fleet_events JOIN fleet_machines USING (machine_key) WHERE machine = 'ODD'"),
            (std::vector<std::vector<std::string>>{{"5000"}}));
  EXPECT_EQ(PgRows(pg, "SELECT count(*) FROM fleet_dead_letters")[0][0], "3");
  dead = SubjectCounts(server.Urls(), "brumevale.dead.>");
  EXPECT_EQ(dead.count(Fleet::DeadSubject(Fleet::MachineIdOfName("ODD"))), 0u);
  EXPECT_EQ(dead[Fleet::DeadSubject(Fleet::MachineIdOfName("TWICE"))], 2u);
  EXPECT_EQ(dead[Fleet::DeadSubject(Fleet::MachineIdOfName("HUGE"))], 1u);
  ASSERT_EQ(RunFleet({"fleet", "--database", pg, "replay", "--server", "nats://127.0.0.1:1"}, &out), 1) << out;
}

// A batch that waits on a lock longer than the acknowledgement wait is said
// to be in progress meanwhile: the stream does not deliver it again to a second
// collector, and delivers each message once.
TEST(FleetRefusal, SlowBatchIsDeliveredOnce) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1));
  ASSERT_TRUE(WaitForJetStream(server.Urls(), 20000));
  const std::string pg = FreshDatabase("slow");
  ChildProcess collector;
  ASSERT_TRUE(collector.Start(FleetArgv({"collect", "--server", server.Urls(), "--database", pg}),
                              folder.String() + "/collect.log"));
  for (int wait = 0; wait < 100 && PgRows(pg, "SELECT to_regclass('fleet_events')")[0][0].empty(); ++wait) Sleep(100);
  const Machine& machine = DemoMachines()[0];
  Fleet::PgLink lock;
  std::string error, out;
  // An uncommitted row under the machine's first key: the batch waits on it.
  const std::string first = LocalEvents(machine.database)[0];
  const std::string id = Fleet::MachineIdOfName(machine.name);
  ASSERT_TRUE(lock.Connect(pg, &error) &&
              lock.Exec("INSERT INTO fleet_machine_keys (machine_id) VALUES ('" + id + "')", &error) &&
              lock.Exec("BEGIN; INSERT INTO fleet_event_keys SELECT machine_key, " + first.substr(0, first.find('|')) +
                            ", now() FROM fleet_machine_keys WHERE machine_id = '" + id + "'",
                        &error)) << error;
  ASSERT_EQ(RunFleet({"export", "--server", server.Urls(), machine.database, "--machine", machine.name}, &out), 0) << out;
  Sleep(1000);
  ChildProcess second;
  ASSERT_TRUE(second.Start(FleetArgv({"collect", "--server", server.Urls(), "--database", pg}),
                           folder.String() + "/collect2.log"));
  Sleep(12000);  // past the 10 s acknowledgement wait
  ASSERT_TRUE(lock.Exec("ROLLBACK", &error)) << error;
  const std::vector<std::string> local = LocalEvents(machine.database);
  EXPECT_TRUE(WaitCollected(pg, machine.name, local));
  EXPECT_EQ(collector.Stop(), 0);
  EXPECT_EQ(second.Stop(), 0);

  Fleet::JetStreamLink link;
  ASSERT_TRUE(link.Connect({{server.Urls()}}, &error)) << error;
  jsConsumerInfo* info = nullptr;
  ASSERT_EQ(js_GetConsumerInfo(&info, link.Context(), Fleet::kStreamName, "brumevale-events", nullptr, nullptr), NATS_OK);
  EXPECT_EQ(info->Delivered.Consumer, local.size());
  jsConsumerInfo_Destroy(info);
}

// A refusal that outlasts the consumers' cap on deliveries: the server gives up on
// each message, and its advisory, kept in a stream of its own, turns the message into
// a dead letter; nothing is passed over in silence, and replay brings it back.
TEST(FleetRefusal, MessagesPastTheDeliveryCapBecomeDeadLetters) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1));
  ASSERT_TRUE(WaitForJetStream(server.Urls(), 20000));
  std::string out;
  ASSERT_EQ(RunFleet({"fleet", "setup", "--server", server.Urls(), "--replicas", "1", "--max-bytes", "1G",
                      "--max-deliver", "2", "--update"}, &out), 0) << out;
  const std::string owner = FreshDatabase("capped");
  ASSERT_EQ(RunFleet({"fleet", "--database", owner, "migrate"}, &out), 0) << out;
  Sql(owner, "CREATE ROLE fleet_capped LOGIN; "
             "GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO fleet_capped; "
             "REVOKE INSERT ON fleet_events FROM fleet_capped");
  const std::string writer = As(owner, "fleet_capped");
  const Machine& machine = DemoMachines()[0];
  const std::vector<std::string> local = LocalEvents(machine.database);
  ASSERT_EQ(RunFleet({"export", "--server", server.Urls(), machine.database, "--machine", machine.name}, &out), 0) << out;
  ASSERT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", writer, "--drain"}, &out), 0) << out;
  EXPECT_TRUE(Contains(out, std::to_string(local.size()) + " messages moved to brumevale.dead")) << out;
  EXPECT_EQ(PgRows(owner, "SELECT count(*), min(reason), max(reason) FROM fleet_dead_letters"),
            (std::vector<std::vector<std::string>>{{std::to_string(local.size()),
                                                    "not stored after 2 deliveries to brumevale-events",
                                                    "not stored after 2 deliveries to brumevale-events"}}));
  EXPECT_TRUE(CollectedEvents(owner, machine.name).empty());

  Sql(owner, "GRANT INSERT ON fleet_events TO fleet_capped");
  ASSERT_EQ(RunFleet({"fleet", "--database", owner, "replay", "--server", server.Urls()}, &out), 0) << out;
  ASSERT_EQ(RunFleet({"collect", "--server", server.Urls(), "--database", writer, "--drain"}, &out), 0) << out;
  EXPECT_EQ(CollectedEvents(owner, machine.name), local);
  EXPECT_EQ(PgRows(owner, "SELECT count(*) FROM fleet_dead_letters")[0][0], "0");
}
