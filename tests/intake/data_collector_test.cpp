// The entry queue's hand-over rule and the port's life without a driver.

#include "intake/collector_fixture.h"

namespace {

using DataCollectorTest = CollectorTest;

// Counts live entries so that the tests see when the collector frees one.
class CountedEntry : public FileEntry {
 public:
  explicit CountedEntry(int& live) : live_(live) { ++live_; }
  ~CountedEntry() override { --live_; }

 private:
  int& live_;
};

TEST_F(DataCollectorTest, EntriesComeOutInOrderAndLiveUntilTheNextTake) {
  int live = 0;
  collector.QueueEntry(std::make_unique<CountedEntry>(live));
  collector.QueueEntry(std::make_unique<CountedEntry>(live));
  collector.QueueEntry(nullptr);
  EXPECT_EQ(live, 2);

  SystemLogEntry* first = collector.TakeNextEntry();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(live, 2);  // handed out, still owned by the collector
  SystemLogEntry* second = collector.TakeNextEntry();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(live, 1);
  EXPECT_EQ(collector.TakeNextEntry(), nullptr);  // frees the last one handed out
  EXPECT_EQ(live, 0);
  EXPECT_EQ(collector.TakeNextEntry(), nullptr);
}

TEST(DataCollectorLifetime, DestructionFreesQueuedAndCurrentEntries) {
  int live = 0;
  {
    TemporaryMachine machine;
    VyrUtilities::DriveMap driveMap(machine.Service());
    DataCollector collector(machine.Service(), driveMap);
    for (int i = 0; i < 3; ++i) collector.QueueEntry(std::make_unique<CountedEntry>(live));
    collector.TakeNextEntry();
  }
  EXPECT_EQ(live, 0);
}

TEST_F(DataCollectorTest, EntriesQueuedFromAnotherThreadAllArrive) {
  constexpr int kEntries = 2000;
  std::thread logger([&] {
    for (int i = 0; i < kEntries; ++i) collector.QueueEntry(std::make_unique<FileEntry>());
  });
  int taken = 0;
  while (taken < kEntries) {
    if (collector.TakeNextEntry() != nullptr) ++taken;
  }
  logger.join();
  EXPECT_EQ(collector.TakeNextEntry(), nullptr);
}

TEST_F(DataCollectorTest, WithoutADriverThePortStaysClosed) {
  EXPECT_FALSE(collector.ConnectDriverPort());
  EXPECT_FALSE(collector.IsConnected());
  EXPECT_EQ(collector.PollDriver(), -1);
  EXPECT_FALSE(collector.CloseDriverPort());
}

TEST_F(DataCollectorTest, EntriesAreStampedWithTheMachinesTime) {
  ReplyBuilder reply;
  reply.Add({.id1 = 1, .id2 = 2, .operation = 0x800});
  Decode(reply, 1);
  TAKE(ThreadEntry, entry);
  const Platform::SystemTime utc = machine.Service().Environment().GetSystemTime();
  EXPECT_EQ(entry->Time().year, utc.year);
  ASSERT_EQ(entry->TimeText().size(), 19u);  // 2024-05-01 14:03:07
  EXPECT_EQ(entry->TimeText()[10], u' ');
}

}  // namespace
