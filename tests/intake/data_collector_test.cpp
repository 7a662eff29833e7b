// The entry queue's hand-over rule and the port's life without a driver.

#include <thread>

#include "intake/collector_fixture.h"

namespace Intake {

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

TEST_F(DataCollectorTest, HandedOutEntryLivesUntilTheNextTake) {
  int live = 0;
  collector.QueueEntry(std::make_unique<CountedEntry>(live));
  collector.QueueEntry(std::make_unique<CountedEntry>(live));
  collector.QueueEntry(nullptr);
  SystemLogEntry* first = collector.TakeNextEntry();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(live, 2);
  EXPECT_NE(collector.TakeNextEntry(), first);
  EXPECT_EQ(live, 1);
  EXPECT_EQ(collector.TakeNextEntry(), nullptr);
  EXPECT_EQ(live, 0);
  collector.QueueEntry(std::make_unique<CountedEntry>(live));
  collector.QueueEntry(std::make_unique<CountedEntry>(live));
  collector.TakeNextEntry();
  {
    DataCollector other(machine.Service(), driveMap);
    other.QueueEntry(std::make_unique<CountedEntry>(live));
    other.TakeNextEntry();
    other.QueueEntry(std::make_unique<CountedEntry>(live));
  }
  EXPECT_EQ(live, 2);  // the destroyed collector freed its current and queued entries
  // The fixture's collector outlives this test body: free its entries while the
  // counter they decrement still exists.
  while (collector.TakeNextEntry() != nullptr) {
  }
  EXPECT_EQ(live, 0);
}

TEST_F(DataCollectorTest, EntriesQueuedFromTheLoggerThreadAllArrive) {
  constexpr int kEntries = 2000;
  std::thread logger([&] {
    for (int i = 0; i < kEntries; ++i) collector.QueueEntry(std::make_unique<FileEntry>());
  });
  for (int taken = 0; taken < kEntries;) {
    if (collector.TakeNextEntry() != nullptr) ++taken;
  }
  logger.join();
  EXPECT_EQ(collector.TakeNextEntry(), nullptr);
}

TEST_F(DataCollectorTest, WithoutADriverThePortStaysClosed) {
  EXPECT_FALSE(collector.ConnectDriverPort());
  EXPECT_EQ(collector.PollDriver(), -1);
  EXPECT_FALSE(collector.CloseDriverPort());
}

}  // namespace

}  // namespace Intake
