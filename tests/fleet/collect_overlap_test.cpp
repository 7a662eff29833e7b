// The collector writes one batch while it fetches and reads the next. Whatever was
// fetched meanwhile, a message is acknowledged only once its own batch is committed,
// and never before a message of an earlier batch: what the stream counts as
// acknowledged is always what the database holds, also when told to stop while a
// batch waits.

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include <nats/nats.h>

#include "fleet/collect/collector.h"
#include "fleet/links/jetstream_link.h"
#include "fleet/export/machine_identity.h"
#include "fleet/links/stream_setup.h"
#include "fleet_fixture.h"

using namespace FleetTest;

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct Counts {
  uint64_t delivered = 0, acknowledged = 0, pending = 0;  // acknowledged: the floor
};

Counts EventConsumer(Fleet::JetStreamLink& link) {
  jsConsumerInfo* info = nullptr;
  Counts counts;
  if (js_GetConsumerInfo(&info, link.Context(), Fleet::kStreamName, Fleet::kEventsConsumer, nullptr, nullptr) !=
      NATS_OK)
    return counts;
  counts = {info->Delivered.Consumer, info->AckFloor.Consumer, static_cast<uint64_t>(info->NumAckPending)};
  jsConsumerInfo_Destroy(info);
  return counts;
}

}  // namespace

TEST(CollectOverlap, AcknowledgedIsWhatIsCommittedWhileABatchWaits) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1));
  ASSERT_TRUE(WaitForJetStream(server.Urls(), 20000));
  const std::string pg = FreshDatabase("overlap");
  std::string out, error;
  ASSERT_EQ(RunFleet({"fleet", "--database", pg, "migrate"}, &out), 0) << out;
  const Machine& machine = DemoMachines()[0];
  const std::vector<std::string> local = LocalEvents(machine.database);
  constexpr int kBatch = 5;
  ASSERT_GT(local.size(), 4u * kBatch);

  // An uncommitted row under the first key of the second batch: that batch waits on it.
  const std::string id = Fleet::MachineIdOfName(machine.name);
  const std::string held = local[kBatch].substr(0, local[kBatch].find('|'));
  Fleet::PgLink lock;
  ASSERT_TRUE(lock.Connect(pg, &error) &&
              lock.Exec("INSERT INTO fleet_machine_keys (machine_id) VALUES ('" + id + "')", &error) &&
              lock.Exec("BEGIN; INSERT INTO fleet_event_keys SELECT machine_key, " + held +
                            ", now() FROM fleet_machine_keys WHERE machine_id = '" + id + "'",
                        &error)) << error;
  ASSERT_EQ(RunFleet({"export", "--server", server.Urls(), machine.database, "--machine", machine.name}, &out), 0) << out;

  Fleet::CollectOptions options;
  options.nats.servers = {server.Urls()};
  options.conninfo = pg;
  options.batch = kBatch;
  std::atomic<bool> stop{false};
  std::ostringstream err;
  int code = -1;
  std::thread collector([&] { code = Fleet::RunCollect(options, stop, err); });
  Fleet::JetStreamLink link;
  ASSERT_TRUE(link.Connect({{server.Urls()}}, &error)) << error;
  Counts waiting;
  for (int wait = 0; wait < 100 && (waiting = EventConsumer(link)).delivered < 3u * kBatch; ++wait) Sleep(100);
  Sleep(1500);  // a later batch acknowledged too soon would show by now
  waiting = EventConsumer(link);
  EXPECT_GE(waiting.delivered, 3u * kBatch);
  EXPECT_EQ(waiting.acknowledged, static_cast<uint64_t>(kBatch));
  EXPECT_EQ(waiting.pending, waiting.delivered - kBatch);
  EXPECT_EQ(CollectedEvents(pg, machine.name), std::vector<std::string>(local.begin(), local.begin() + kBatch));

  stop = true;  // told to stop while the batch waits: it is finished, then answered
  Sleep(500);
  ASSERT_TRUE(lock.Exec("ROLLBACK", &error)) << error;
  collector.join();
  EXPECT_EQ(code, 0) << err.str();
  const Counts stopped = EventConsumer(link);
  const std::vector<std::string> stored = CollectedEvents(pg, machine.name);
  EXPECT_GE(stored.size(), 2u * kBatch);
  EXPECT_EQ(stopped.acknowledged, stored.size());
  EXPECT_EQ(stopped.pending, stopped.delivered - stopped.acknowledged);

  // What was fetched but never written comes again to the next collector.
  options.drain = true;
  stop = false;
  EXPECT_EQ(Fleet::RunCollect(options, stop, err), 0) << err.str();
  EXPECT_EQ(CollectedEvents(pg, machine.name), local);
  EXPECT_EQ(EventConsumer(link).pending, 0u);
}
