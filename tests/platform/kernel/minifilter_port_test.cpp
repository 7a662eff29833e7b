// The driver's port: connections, replies of whole records, and what a stopped
// driver does to them.
#include <gtest/gtest.h>

#include <thread>

#include "kernel_test_support.h"

namespace {

using namespace KernelTest;
using Emulated::Actor;
using Emulated::DriverRecord;

constexpr uint32_t kServicePid = 1000;
constexpr std::u16string_view kPort = u"\\BrumevaleLookoutPort";

class MinifilterPortTest : public ::testing::Test {
 protected:
  MinifilterPortTest() : machine_(OneDriveConfig()), port_(machine_.Process(kServicePid).FilterPort()) {}

  Platform::Handle Connect() {
    Platform::Handle handle = 0;
    EXPECT_EQ(port_.ConnectCommunicationPort(kPort, 0, {}, &handle), Platform::kSOk);
    return handle;
  }
  // A key deletion whose record is 48 + 2 * (length + 1) bytes long.
  void ReportKeyOfLength(size_t length, uint32_t thread = 1) {
    machine_.Activity().RegistryKeyDeleted({7, thread}, std::u16string(length, u'k'));
  }

  Emulated::Machine machine_;
  Platform::FilterPort& port_;
};

TEST_F(MinifilterPortTest, RepliesHoldWholeRecordsAndLeaveTheRestQueued) {
  machine_.Filter().Start();
  const Platform::Handle handle = Connect();
  // Three records of 48 + 100 = 148 bytes; a 400-byte reply takes two of them.
  for (uint32_t i = 1; i <= 3; ++i) ReportKeyOfLength(49, i);

  const Reply first = Poll(port_, handle, 400);
  EXPECT_EQ(first.result, Platform::kSOk);
  EXPECT_EQ(first.count, 2u);
  EXPECT_EQ(first.bytesReturned, 296u);
  const auto records = Emulated::DecodeDriverRecords(first.bytes, 2);
  ASSERT_TRUE(records.has_value());
  EXPECT_EQ((*records)[0].id3, 1u);
  EXPECT_EQ((*records)[1].id3, 2u);

  // Exactly the size of the remaining record is enough.
  const Reply second = Poll(port_, handle, 148);
  EXPECT_EQ(second.count, 1u);
  EXPECT_EQ(Emulated::DecodeDriverRecords(second.bytes, 1)->at(0).id3, 3u);

  // Nothing left: success, and the request word is overwritten with 0.
  const Reply empty = Poll(port_, handle);
  EXPECT_EQ(empty.result, Platform::kSOk);
  EXPECT_EQ(empty.count, 0u);
  EXPECT_EQ(empty.bytesReturned, 0u);
}

TEST_F(MinifilterPortTest, AFullReplyIsPackedToItsCapacity) {
  machine_.Filter().Start();
  const Platform::Handle handle = Connect();
  // 1000 records of 48 + 2 * 26 = 100 bytes: 1072 fit in 107200, so all 1000 come.
  for (int i = 0; i < 1200; ++i) ReportKeyOfLength(25);
  const Reply first = Poll(port_, handle);
  EXPECT_EQ(first.count, 1072u);
  EXPECT_EQ(first.bytesReturned, 107200u);
  EXPECT_EQ(Poll(port_, handle).count, 128u);
}

// The driver reads the request word as an aligned access; the filter manager does
// not align what the caller passes, so a word off its 8-byte boundary faults.
TEST_F(MinifilterPortTest, ARequestWordOffItsEightByteBoundaryFaults) {
  machine_.Filter().Start();
  const Platform::Handle handle = Connect();
  ReportKeyOfLength(3);
  alignas(8) uint8_t request[12] = {};
  Bytes output(Emulated::kDriverReplyCapacity);
  uint32_t returned = 0;
  for (size_t offset : {1, 2, 4}) {
    EXPECT_EQ(port_.SendMessage(handle, std::span(request + offset, 4), output, &returned),
              Platform::kENoAccess)
        << "offset " << offset;
  }
  EXPECT_EQ(port_.SendMessage(handle, std::span(request + 8, 4), output, &returned), Platform::kSOk);
  EXPECT_EQ(request[8], 1) << "the record waited for the aligned poll";
}

TEST_F(MinifilterPortTest, OnlyARunningDriversPortConnects) {
  Platform::Handle handle = 0;
  EXPECT_EQ(port_.ConnectCommunicationPort(kPort, 0, {}, &handle), Platform::kEFileNotFound);
  machine_.Filter().Start();
  EXPECT_EQ(port_.ConnectCommunicationPort(u"\\OtherPort", 0, {}, &handle),
            Platform::kEFileNotFound);
  const Platform::Handle old = Connect();
  ReportKeyOfLength(3);
  machine_.Filter().Stop();
  ReportKeyOfLength(3);  // nobody is listening: dropped

  EXPECT_LT(Poll(port_, old).result, 0);
  Platform::Handle refused = 0;
  EXPECT_LT(port_.ConnectCommunicationPort(kPort, 0, {}, &refused), 0);

  machine_.Filter().Start();
  EXPECT_LT(Poll(port_, old).result, 0) << "a connection of the previous run stays dead";
  const Platform::Handle fresh = Connect();
  const Reply reply = Poll(port_, fresh);
  EXPECT_EQ(reply.result, Platform::kSOk);
  EXPECT_EQ(reply.count, 0u) << "records queued before the stop went with the driver";
  EXPECT_EQ(port_.ClosePort(old), Platform::kErrorSuccess);
}

TEST_F(MinifilterPortTest, HandlesBelongToTheConnectingProcess) {
  machine_.Filter().Start();
  const Platform::Handle handle = Connect();
  Platform::FilterPort& other = machine_.Process(2000).FilterPort();
  EXPECT_EQ(Poll(other, handle).result, Platform::kEHandle);
  EXPECT_EQ(other.ClosePort(handle), Platform::kErrorInvalidHandle);
  // Another thread of the same process shares the handle.
  EXPECT_EQ(Poll(machine_.Process(kServicePid, 44).FilterPort(), handle).result, Platform::kSOk);

  EXPECT_EQ(port_.ClosePort(handle), Platform::kErrorSuccess);
  EXPECT_EQ(Poll(port_, handle).result, Platform::kEHandle);
  EXPECT_EQ(port_.ClosePort(handle), Platform::kErrorInvalidHandle);
}

TEST_F(MinifilterPortTest, AFullQueueDropsNewRecordsAndKeepsTheOldInOrder) {
  machine_.Filter().Start();
  machine_.Filter().SetQueueLimit(3 * 56);  // three records of 48 + 8 bytes
  for (uint32_t i = 1; i <= 5; ++i) ReportKeyOfLength(3, i);
  EXPECT_EQ(machine_.Filter().DroppedRecords(), 2u);

  const Reply reply = Poll(port_, Connect());
  ASSERT_EQ(reply.count, 3u);
  const auto records = Emulated::DecodeDriverRecords(reply.bytes, 3);
  EXPECT_EQ((*records)[2].id3, 3u);
  ReportKeyOfLength(3, 6);  // room again once delivered
  EXPECT_EQ(machine_.Filter().QueuedRecords(), 1u);
}

// Actors report while the service polls; every record arrives once and each actor's
// records keep their order.
TEST_F(MinifilterPortTest, ConcurrentReportersAndPollerLoseNothing) {
  machine_.Filter().Start();
  const Platform::Handle handle = Connect();
  constexpr uint32_t kActors = 4, kEach = 2000;
  std::vector<std::thread> actors;
  for (uint32_t a = 0; a < kActors; ++a) {
    actors.emplace_back([this, a] {
      for (uint32_t i = 0; i < kEach; ++i) machine_.Activity().ThreadCreated({a, i}, 4);
    });
  }
  // Failures only stop the loop: the actors must be joined before the test returns.
  std::vector<uint32_t> next(kActors, 0);
  uint32_t total = 0;
  bool inOrder = true;
  while (inOrder && total < kActors * kEach) {
    const Reply reply = Poll(port_, handle);
    const auto records = Emulated::DecodeDriverRecords(reply.bytes, reply.count);
    inOrder = reply.result == Platform::kSOk && records.has_value();
    for (size_t i = 0; inOrder && i < records->size(); ++i) {
      const DriverRecord& record = (*records)[i];
      inOrder = record.id2 < kActors && record.id3 == next[record.id2]++;
    }
    total += reply.count;
  }
  for (std::thread& actor : actors) actor.join();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(total, kActors * kEach);
  EXPECT_EQ(Poll(port_, handle).count, 0u);
}

}  // namespace
