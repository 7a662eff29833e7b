// The collector's pull consumer against a real server: batches never exceed their
// size, however many deliveries of earlier requests wait in the inbox, and every
// message arrives once it is acknowledged, none twice.

#include <set>

#include "fleet/links/jetstream_link.h"
#include "fleet/links/pull_consumer.h"
#include "fleet_fixture.h"

using namespace FleetTest;

TEST(PullConsumer, BatchesHoldAtMostTheirSizeAndLoseNothing) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1));
  ASSERT_TRUE(WaitForJetStream(server.Urls(), 20000));
  Fleet::JetStreamLink link;
  std::string error;
  ASSERT_TRUE(link.Connect({{server.Urls()}}, &error) && link.CheckStream(&error)) << error;
  std::vector<Fleet::Outgoing> messages;
  for (int i = 0; i < 1200; ++i) messages.push_back({"brumevale.events.M", "", std::to_string(i)});
  ASSERT_TRUE(link.PublishPlain(messages, &error)) << error;

  Fleet::PullConsumer pull;
  ASSERT_TRUE(pull.Open(link.Connection(), link.Context(), Fleet::kStreamName, "brumevale.events.>", "test", 10000000000,
                        &error, true)) << error;
  // Three requests ahead of the first fetch put far more than a batch in the inbox.
  for (int i = 0; i < 3; ++i) pull.Prefetch(300, 2000);
  const size_t expected = messages.size() + messages.size() / 10;  // the given back come twice
  std::multiset<std::string> seen;
  for (int round = 0; round < 40 && seen.size() < expected; ++round) {
    std::vector<natsMsg*> batch;
    ASSERT_TRUE(pull.Fetch(250, 500, round % 2 == 0, &batch, &error)) << error;
    EXPECT_LE(batch.size(), 250u);
    for (natsMsg* msg : batch) {
      const std::string data(natsMsg_GetData(msg), natsMsg_GetDataLength(msg));
      seen.insert(data);
      // Every tenth is given back once and must come again.
      if (seen.count(data) == 1 && std::stoi(data) % 10 == 0) pull.Nak(msg, 0);
      else pull.Ack(msg);
      natsMsg_Destroy(msg);
    }
  }
  EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), messages.size());
  EXPECT_EQ(seen.size(), expected);
  std::vector<natsMsg*> rest;
  ASSERT_TRUE(pull.Fetch(250, 500, false, &rest, &error)) << error;
  EXPECT_TRUE(rest.empty()) << rest.size() << " delivered again after their acknowledgement";
  for (natsMsg* msg : rest) natsMsg_Destroy(msg);
}
