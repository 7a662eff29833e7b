// The emulated machine's processes and accounts: the shared contract, and what only
// the emulation decides (drive mapping, the pseudo-processes, handles after exit).
#include <gtest/gtest.h>

#include "platform/contract/processes_contract.h"
#include "kernel_test_support.h"
#include "platform/emulated/processes/process_control.h"

namespace {

using namespace KernelTest;
using Emulated::Machine;
using Emulated::ProcessLaunch;

constexpr char16_t kUserSid[] = u"S-1-5-21-11-22-33-1001";

Emulated::MachineConfig ConfigWithUser() {
  Emulated::MachineConfig config = OneDriveConfig();
  config.users.push_back({kUserSid, u"DESKTOP-BRUMEVL", u"alice", u"C:\\Users\\alice", true});
  return config;
}

class EmulatedProcessesBackend {
 public:
  EmulatedProcessesBackend() : machine_(ConfigWithUser()) {
    ProcessLaunch launch;
    launch.creator = {4, 0};
    launch.imagePath = u"C:\\Program Files\\Kelvra Security\\Brumevale\\BrumevaleLogger.exe";
    launch.ownerSid = u"S-1-5-18";
    pid_ = Emulated::StartProcess(machine_, launch);
    launch.imagePath = u"C:\\Windows\\System32\\services.exe";
    launch.protectedProcess = true;
    protected_ = Emulated::StartProcess(machine_, launch);
  }
  Platform::Processes& Processes() { return machine_.Process(pid_).Processes(); }
  std::u16string SelfExeName() { return u"BrumevaleLogger.exe"; }
  uint32_t AbsentProcessId() { return 4444; }
  std::optional<uint32_t> ProtectedProcessId() { return protected_; }

 private:
  Machine machine_;
  uint32_t pid_ = 0;
  uint32_t protected_ = 0;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Emulated, ProcessesContract, EmulatedProcessesBackend);

class ProcessesViewTest : public ::testing::Test {
 protected:
  ProcessesViewTest() : machine_(ConfigWithUser()) {}

  uint32_t Start(std::u16string image, std::u16string owner, std::optional<uint32_t> pid = {},
                 uint32_t parent = 4) {
    ProcessLaunch launch;
    launch.creator = {parent, 0};
    launch.imagePath = std::move(image);
    launch.ownerSid = std::move(owner);
    launch.processId = pid;
    return Emulated::StartProcess(machine_, launch);
  }
  Platform::Processes& Viewer() { return machine_.Process(888).Processes(); }

  // Image and owner of pid as the viewer sees them; "" when a step fails.
  std::pair<std::u16string, std::u16string> ImageAndOwner(uint32_t pid) {
    Platform::ScopedProcess process;
    if (Viewer().OpenProcess(pid, Platform::kProcessQueryInformation,
                             process.Receive(Viewer())) != 0) {
      return {};
    }
    std::u16string image, sid;
    Viewer().GetProcessImageFileName(process.Get(), 260, &image);
    Viewer().GetProcessOwnerSid(process.Get(), &sid);
    return {image, sid};
  }

  Machine machine_;
};

TEST_F(ProcessesViewTest, SnapshotNamesPseudoProcessesAndImagesByFileName) {
  Start(u"D:\\Tools\\late.exe", kUserSid, 5000);
  const uint32_t early = Start(u"C:\\Windows\\explorer.exe", kUserSid, std::nullopt, 5000);
  std::vector<Platform::ProcessSnapshotEntry> entries;
  ASSERT_EQ(Viewer().SnapshotProcesses(&entries), Platform::kErrorSuccess);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].exeFile, u"[System Process]");
  EXPECT_EQ(entries[1].exeFile, u"System");
  EXPECT_EQ(entries[2].processId, early);
  EXPECT_EQ(entries[2].exeFile, u"explorer.exe");
  EXPECT_EQ(entries[2].parentProcessId, 5000u);
  EXPECT_EQ(entries[3].exeFile, u"late.exe");
}

TEST_F(ProcessesViewTest, ImagesAreNamedByTheVolumeOfTheirDrive) {
  const uint32_t onC = Start(u"C:\\Windows\\explorer.exe", kUserSid);
  const uint32_t onD = Start(u"d:\\Tools\\x.exe", kUserSid);
  const uint32_t onE = Start(u"E:\\y.exe", kUserSid);
  EXPECT_EQ(ImageAndOwner(onC).first, u"\\Device\\HarddiskVolume2\\Windows\\explorer.exe");
  EXPECT_EQ(ImageAndOwner(onD).first, u"\\Device\\HarddiskVolume3\\Tools\\x.exe");

  // A drive the machine does not map has no device: the call fails.
  Platform::ScopedProcess process;
  ASSERT_EQ(Viewer().OpenProcess(onE, 0, process.Receive(Viewer())), Platform::kErrorSuccess);
  std::u16string image = u"kept";
  EXPECT_EQ(Viewer().GetProcessImageFileName(process.Get(), 260, &image),
            Platform::kErrorPathNotFound);
  EXPECT_EQ(image, u"kept");

  // System opens and is owned by LocalSystem but has no image file: an empty name.
  EXPECT_EQ(ImageAndOwner(4), std::make_pair(std::u16string(), std::u16string(u"S-1-5-18")));
}

TEST_F(ProcessesViewTest, OwnersResolveToDomainAndName) {
  const uint32_t pid = Start(u"C:\\a.exe", kUserSid);
  std::u16string name, domain;
  ASSERT_EQ(Viewer().LookupAccountSid(ImageAndOwner(pid).second, &name, &domain), 0u);
  EXPECT_EQ(domain + u"\\" + name, u"DESKTOP-BRUMEVL\\alice");
  ASSERT_EQ(Viewer().LookupAccountSid(u"s-1-5-32-544", &name, &domain), 0u);
  EXPECT_EQ(domain + u"\\" + name, u"BUILTIN\\Administrators");
  name = u"kept";
  EXPECT_EQ(Viewer().LookupAccountSid(u"S-1-5-21-9-9-9-500", &name, &domain),
            Platform::kErrorNoneMapped);
  EXPECT_EQ(name, u"kept");
}

// A handle holds on to its process object: it still answers after the exit, but
// only to the process that opened it.
TEST_F(ProcessesViewTest, HandlesOutliveTheProcessAndBelongToTheOpener) {
  const uint32_t pid = Start(u"C:\\a.exe", kUserSid);
  Platform::Handle handle = 0;
  ASSERT_EQ(Viewer().OpenProcess(pid, 0, &handle), 0u);
  ASSERT_TRUE(Emulated::ExitProcess(machine_, pid));
  std::u16string image, sid;
  EXPECT_EQ(Viewer().GetProcessImageFileName(handle, 260, &image), 0u);
  EXPECT_EQ(image, u"\\Device\\HarddiskVolume2\\a.exe");
  Platform::Processes& stranger = machine_.Process(999).Processes();
  EXPECT_EQ(stranger.GetProcessOwnerSid(handle, &sid), Platform::kErrorInvalidHandle);
  EXPECT_EQ(stranger.CloseProcess(handle), Platform::kErrorInvalidHandle);
  EXPECT_EQ(Viewer().CloseProcess(handle), Platform::kErrorSuccess);
  EXPECT_EQ(Viewer().OpenProcess(pid, 0, &handle), Platform::kErrorInvalidParameter);
}

}  // namespace
