// Starting and ending processes and threads, seen through the driver's records.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include "kernel_test_support.h"
#include "platform/emulated/processes/process_control.h"

namespace {

using namespace KernelTest;
using Emulated::DriverRecord;

class ProcessControlTest : public ::testing::Test {
 protected:
  ProcessControlTest() : machine_(OneDriveConfig()) {
    machine_.Filter().Start();
    EXPECT_EQ(Port().ConnectCommunicationPort(u"\\BrumevaleLookoutPort", 0, {}, &handle_), 0);
  }
  Platform::FilterPort& Port() { return machine_.Process(900).FilterPort(); }

  uint32_t Start(std::optional<uint32_t> pid = {}) {
    Emulated::ProcessLaunch launch;
    launch.creator = {1200, 1204};
    launch.imagePath = u"C:\\Windows\\notepad.exe";
    launch.ownerSid = u"S-1-5-18";
    launch.processId = pid;
    return Emulated::StartProcess(machine_, launch);
  }
  // (Operation, Id1, Id2, Id3) of every record delivered since the last call.
  std::vector<std::array<uint64_t, 4>> Records() {
    const Reply reply = Poll(Port(), handle_);
    std::vector<std::array<uint64_t, 4>> out;
    const auto records = Emulated::DecodeDriverRecords(reply.bytes, reply.count);
    EXPECT_TRUE(records.has_value());
    for (const DriverRecord& r : records.value_or(std::vector<DriverRecord>{})) {
      out.push_back({r.operation, r.id1, r.id2, r.id3});
    }
    return out;
  }

  Emulated::Machine machine_;
  Platform::Handle handle_ = 0;
};

TEST_F(ProcessControlTest, StartIsReportedAndAFixedIdMustBeFree) {
  const uint32_t pid = Start();
  ASSERT_NE(pid, 0u);
  EXPECT_EQ(machine_.ProcessTable().Find(pid)->parentProcessId, 1200u);
  EXPECT_EQ(Start(7000), 7000u);
  const uint32_t thread = Emulated::CreateThread(machine_, {pid, 0}, pid);
  EXPECT_EQ(Start(7000), 0u) << "a live process holds it";
  EXPECT_EQ(Start(thread), 0u) << "a live thread holds it";
  const std::vector<std::array<uint64_t, 4>> expected = {
      {0x200, pid, 1200, 1204}, {0x200, 7000, 1200, 1204}, {0x800, thread, pid, 0}};
  EXPECT_EQ(Records(), expected);
}

TEST_F(ProcessControlTest, ThreadsAndProcessesEndInTheirOwnContext) {
  const uint32_t pid = Start();
  const uint32_t first = Emulated::CreateThread(machine_, {pid, 0}, pid);
  const uint32_t second = Emulated::CreateThread(machine_, {pid, first}, pid);
  const uint32_t third = Emulated::CreateThread(machine_, {1200, 1204}, pid);
  Records();
  ASSERT_TRUE(Emulated::ExitThread(machine_, third));
  EXPECT_FALSE(Emulated::ExitThread(machine_, third));
  // The process's remaining threads end before it does.
  ASSERT_TRUE(Emulated::ExitProcess(machine_, pid));
  const std::vector<std::array<uint64_t, 4>> expected = {{0x1000, third, pid, third},
                                                         {0x1000, first, pid, first},
                                                         {0x1000, second, pid, second},
                                                         {0x400, pid, pid, second}};
  EXPECT_EQ(Records(), expected);
  EXPECT_FALSE(machine_.ProcessTable().Find(pid));
  EXPECT_FALSE(machine_.ProcessTable().FindThreadOwner(first));

  EXPECT_FALSE(Emulated::ExitProcess(machine_, pid));
  EXPECT_FALSE(Emulated::ExitProcess(machine_, 0));
  EXPECT_FALSE(Emulated::ExitProcess(machine_, 4));
  EXPECT_TRUE(Records().empty());
}

// Actors start processes and threads at once: every id is handed out once.
TEST_F(ProcessControlTest, ConcurrentStartsAndThreadsGetDistinctIds) {
  constexpr int kActors = 4, kEach = 50;
  std::vector<std::vector<uint32_t>> ids(kActors);
  std::vector<std::thread> actors;
  for (int a = 0; a < kActors; ++a) {
    actors.emplace_back([this, &ids, a] {
      for (int i = 0; i < kEach; ++i) {
        const uint32_t pid = Start();
        ids[a].push_back(pid);
        ids[a].push_back(Emulated::CreateThread(machine_, {pid, 0}, pid));
        ids[a].push_back(machine_.CurrentThreadId(pid));
      }
    });
  }
  for (std::thread& actor : actors) actor.join();
  std::set<uint32_t> distinct;
  for (const auto& list : ids) distinct.insert(list.begin(), list.end());
  EXPECT_EQ(distinct.size(), size_t{kActors * kEach * 3});
  EXPECT_EQ(distinct.count(0), 0u);
  EXPECT_TRUE(std::all_of(distinct.begin(), distinct.end(), [](uint32_t id) { return id % 4 == 0; }));
  EXPECT_EQ(Records().size(), size_t{kActors * kEach * 2});
}

}  // namespace
