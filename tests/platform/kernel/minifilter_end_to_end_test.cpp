// Activity made through a process's view of the machine comes out of the port as
// the driver's records, attributed to that process and thread.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "kernel_test_support.h"
#include "platform/emulated/processes/process_control.h"
#include "platform/scoped_handle.h"

namespace {

using namespace KernelTest;
using Emulated::DriverRecord;

constexpr uint32_t kThread = 4242;

class MinifilterEndToEndTest : public ::testing::Test {
 protected:
  MinifilterEndToEndTest()
      : folder_(std::filesystem::temp_directory_path() /
                ("brumevale-kernel-" + std::to_string(::getpid()))),
        machine_(ConfigOnFolder()) {
    machine_.Filter().Start();
    Emulated::ProcessLaunch launch;
    launch.creator = {4, 0};
    launch.imagePath = u"C:\\Users\\alice\\Downloads\\setup.exe";
    launch.ownerSid = u"S-1-5-18";
    pid_ = Emulated::StartProcess(machine_, launch);
    EXPECT_EQ(Port().ConnectCommunicationPort(u"\\BrumevaleLookoutPort", 0, {}, &handle_), 0);
    Take();
  }
  ~MinifilterEndToEndTest() override { std::filesystem::remove_all(folder_); }

  Emulated::MachineConfig ConfigOnFolder() {
    std::filesystem::create_directories(folder_);
    Emulated::MachineConfig config;
    config.drives.push_back({u'C', folder_.string(), 2});
    return config;
  }
  Platform::FilterPort& Port() { return machine_.Process(900).FilterPort(); }
  Platform::System& Actor() { return machine_.Process(pid_, kThread); }

  std::vector<DriverRecord> Take() {
    const Reply reply = Poll(Port(), handle_);
    EXPECT_EQ(reply.result, Platform::kSOk);
    return Emulated::DecodeDriverRecords(reply.bytes, reply.count).value_or(
        std::vector<DriverRecord>{});
  }

  std::filesystem::path folder_;
  Emulated::Machine machine_;
  uint32_t pid_ = 0;
  Platform::Handle handle_ = 0;
};

TEST_F(MinifilterEndToEndTest, RegistryWriteBecomesAValueSetRecord) {
  Platform::Registry& registry = Actor().Registry();
  Platform::ScopedKey key;
  ASSERT_EQ(registry.CreateKey(Platform::kHkeyLocalMachine,
                               u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                               Platform::kKeyAllAccess, key.Receive(registry), nullptr),
            0u);
  Take();
  const Bytes command = Texts({u"C:\\x.exe"});
  ASSERT_EQ(registry.SetValue(key.Get(), u"Updater", Platform::kRegSz, command), 0u);

  const std::vector<DriverRecord> records = Take();
  ASSERT_EQ(records.size(), 1u);
  const DriverRecord expected{
      0, pid_, kThread, 0x2000, Platform::kRegSz,
      Texts({u"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
             u"Updater"},
            command)};
  EXPECT_EQ(records[0], expected);
}

TEST_F(MinifilterEndToEndTest, FileWriteFollowsTheFileObjectProtocol) {
  Platform::FileSystem& files = Actor().Files();
  ASSERT_EQ(files.CreateDirectory(u"C:\\Temp"), 0u);
  Take();
  Platform::ScopedFile file;
  ASSERT_EQ(files.CreateFile(u"C:\\Temp\\a.txt", Platform::kGenericWrite, 0,
                             Platform::kCreateAlways, 0, file.Receive(files)),
            0u);
  const Bytes content = {'h', 'i'};
  uint32_t written = 0;
  ASSERT_EQ(files.WriteFile(file.Get(), content, &written), 0u);
  file.Reset();

  const std::vector<DriverRecord> records = Take();
  ASSERT_EQ(records.size(), 4u);
  const Bytes name = Texts({u"\\Device\\HarddiskVolume2\\Temp\\a.txt"});
  const uint32_t operations[] = {1, 64, 128, 16};
  for (size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(records[i].operation, operations[i]);
    EXPECT_EQ(records[i].id1, records[0].id1) << "one file object from create to close";
    EXPECT_EQ(records[i].id2, pid_);
    EXPECT_EQ(records[i].id3, kThread);
    EXPECT_EQ(records[i].data, name);
  }
  EXPECT_EQ(records[0].detail, 0u);
}

}  // namespace
