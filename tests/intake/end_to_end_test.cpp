// The emulated minifilter and the decoder together: activity of named processes on
// an emulated machine comes out of the collector as the entries the engine expects,
// in order, with identifiers, drive-letter paths and value texts.

#include <gtest/gtest.h>

#include "support/temporary_machine.h"
#include "intake/brumevale_event.h"
#include "intake/data_collector.h"
#include "intake/registry_entry.h"
#include "platform/emulated/minifilter/minifilter.h"
#include "platform/emulated/processes/process_control.h"
#include "util/drive_map.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

namespace Intake {

namespace {

constexpr char16_t kAnn[] = u"S-1-5-21-1-2-3-1001";
constexpr uint32_t kSetup = 1200;
constexpr uint32_t kSetupThread = 1204;

Emulated::MachineConfig WithAnn() {
  Emulated::MachineConfig config;
  config.users.push_back({kAnn, u"DESK", u"ann", u"C:\\Users\\ann", true});
  return config;
}

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine.Machine().Filter().Start();
    ASSERT_TRUE(collector.ConnectDriverPort());
    Emulated::ProcessLaunch launch;
    launch.creator = {4, 0};
    launch.imagePath = u"C:\\Tools\\setup.exe";
    launch.ownerSid = kAnn;
    launch.processId = kSetup;
    ASSERT_EQ(Emulated::StartProcess(machine.Machine(), launch), kSetup);
  }

  // Polls until the driver has nothing more.
  void PollAll() {
    for (int polls = 0; polls < 100; ++polls) {
      const int32_t records = collector.PollDriver();
      ASSERT_GE(records, 0);
      if (records == 0) return;
    }
    FAIL() << "the driver never ran dry";
  }
  // Skips entries until one of the given class made by kSetup.
  template <typename Entry>
  const Entry* NextOfSetup() {
    while (SystemLogEntry* entry = collector.TakeNextEntry()) {
      if (entry->FirstId() != kSetup) continue;
      if (auto* typed = dynamic_cast<const Entry*>(entry)) return typed;
    }
    return nullptr;
  }

  Platform::System& Installer() { return machine.Machine().Process(kSetup, kSetupThread); }
  Platform::Handle CreateKey(Platform::Handle root, std::u16string_view path) {
    Platform::Handle key = 0;
    EXPECT_EQ(Installer().Registry().CreateKey(root, path, 0, Platform::kKeyAllAccess, &key, nullptr),
              Platform::kErrorSuccess);
    return key;
  }

  TemporaryMachine machine{WithAnn()};
  VyrUtilities::DriveMap driveMap{machine.Service()};
  DataCollector collector{machine.Service(), driveMap};
};

TEST_F(EndToEndTest, ProcessStartIsNamedWhileTheProcessLives) {
  PollAll();  // the start, before the process ends
  ASSERT_TRUE(Emulated::ExitProcess(machine.Machine(), kSetup));
  PollAll();  // the end: the process can no longer be asked
  std::vector<uint32_t> states;
  while (SystemLogEntry* entry = collector.TakeNextEntry()) {
    const auto* process = dynamic_cast<const ProcessEntry*>(entry);
    if (process == nullptr || process->ProcessId() != kSetup) continue;
    states.push_back(process->State());
    if (process->State() != kProcessStarted) continue;
    EXPECT_EQ(process->FirstId(), 4u);
    EXPECT_EQ(process->ImagePath(), u"C:\\Tools\\setup.exe");
    EXPECT_EQ(process->Owner(), u"DESK\\ann");
  }
  EXPECT_EQ(states, (std::vector<uint32_t>{kProcessStarted, kProcessEnded}));
}

TEST_F(EndToEndTest, RegistryActivityBecomesEntriesInOrder) {
  Platform::Handle run =
      CreateKey(Platform::kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  ASSERT_TRUE(VyrUtilities::WriteRegistryString(Installer(), run, u"Updater", u"C:\\u.exe /b"));
  const uint8_t number[] = {0x2C, 0x01, 0, 0};
  ASSERT_EQ(Installer().Registry().SetValue(run, u"Count", Platform::kRegDword, number),
            Platform::kErrorSuccess);
  ASSERT_EQ(Installer().Registry().DeleteValue(run, u"Updater"), Platform::kErrorSuccess);
  Installer().Registry().CloseKey(run);
  Platform::Handle service = CreateKey(Platform::kHkeyLocalMachine,
                                       u"SYSTEM\\CurrentControlSet\\Services\\Svc");
  const std::vector<uint8_t> list = {u'a', 0, 0, 0, u'b', 0, 0, 0, 0, 0};
  ASSERT_EQ(Installer().Registry().SetValue(service, u"DependOnService", Platform::kRegMultiSz, list),
            Platform::kErrorSuccess);
  Installer().Registry().CloseKey(service);
  Platform::Handle user = CreateKey(Platform::kHkeyUsers, std::u16string(kAnn) +
                                                              u"\\Software\\Microsoft\\Windows\\"
                                                              u"CurrentVersion\\Run");
  ASSERT_TRUE(VyrUtilities::WriteRegistryString(Installer(), user, u"Mine", u"C:\\m.exe"));
  Installer().Registry().CloseKey(user);
  PollAll();

  // "operation user-visible key|value name|value texts" of each entry of the installer.
  std::vector<std::u16string> seen;
  while (const RegistryEntry* entry = NextOfSetup<RegistryEntry>()) {
    EXPECT_EQ(entry->SecondId(), 0u);
    BrumevaleRegistryEvent event(*entry, 1, 0);
    std::u16string line = VyrUtilities::IntToText(event.Operation(), 10) + u" " +
                          event.KeyPath().ToText(true) + u"|" + event.ValueName();
    for (size_t i = 0; i < event.ValueTextCount(); ++i) line += u"|" + event.GetValueText(i);
    seen.push_back(line);
  }
  const std::u16string runKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_EQ(seen, (std::vector<std::u16string>{
                      u"1 " + runKey + u"|Updater|C:\\u.exe /b",
                      u"1 " + runKey + u"|Count|300",
                      u"2 " + runKey + u"|Updater|",
                      u"1 HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Svc|DependOnService|a|b",
                      u"1 HKEY_USERS\\" + std::u16string(kAnn) +
                          u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run|Mine|C:\\m.exe",
                  }));
}

// The longest value name Windows allows beside 40,000 characters of data is more
// than one reply holds: the driver sends the data cut, the collector completes it
// from the registry. A value written over again before the poll is not completed
// with the newer text; its own record brings that.
TEST_F(EndToEndTest, ValueCutByTheDriverIsCompletedFromTheRegistry) {
  Platform::Handle run =
      CreateKey(Platform::kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  const std::u16string longName(16383, u'N');
  const std::u16string first = u"C:\\first.exe " + std::u16string(40000 - 14, u'a');
  const std::u16string second = u"C:\\second.exe " + std::u16string(40000 - 15, u'b');
  const std::u16string third = u"C:\\third.exe " + std::u16string(40000 - 14, u'c');
  ASSERT_TRUE(VyrUtilities::WriteRegistryString(Installer(), run, longName, first));
  PollAll();
  ASSERT_TRUE(VyrUtilities::WriteRegistryString(Installer(), run, longName, second));
  ASSERT_TRUE(VyrUtilities::WriteRegistryString(Installer(), run, longName, third));
  Installer().Registry().CloseKey(run);
  PollAll();
  std::vector<std::u16string> texts;
  while (const RegistryEntry* entry = NextOfSetup<RegistryEntry>()) {
    EXPECT_EQ(entry->ValueName(), longName);
    BrumevaleRegistryEvent event(*entry, 1, 0);
    texts.push_back(event.GetValueText(0));
  }
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], first);
  EXPECT_LT(texts[1].size(), second.size());  // cut, and the registry holds another value
  EXPECT_EQ(texts[1], second.substr(0, texts[1].size()));
  EXPECT_EQ(texts[2], third);
}

TEST_F(EndToEndTest, FileLifeBecomesCreatedWrittenRenamedDeleted) {
  Platform::FileSystem& files = Installer().Files();
  ASSERT_EQ(files.CreateDirectory(u"C:\\Work"), Platform::kErrorSuccess);
  Platform::Handle file = 0;
  ASSERT_EQ(files.CreateFile(u"C:\\Work\\a.txt", Platform::kGenericWrite | Platform::kDelete, 0,
                             Platform::kCreateNew, Platform::kFileAttributeNormal, &file),
            Platform::kErrorSuccess);
  const uint8_t bytes[] = {1, 2, 3};
  uint32_t written = 0;
  ASSERT_EQ(files.WriteFile(file, bytes, &written), Platform::kErrorSuccess);
  files.CloseFile(file);
  ASSERT_EQ(files.MoveFileEx(u"C:\\Work\\a.txt", u"C:\\Work\\b.txt", 0), Platform::kErrorSuccess);
  ASSERT_EQ(files.DeleteFile(u"C:\\Work\\b.txt"), Platform::kErrorSuccess);
  PollAll();

  std::vector<std::pair<uint32_t, std::u16string>> seen;
  while (const FileEntry* entry = NextOfSetup<FileEntry>()) {
    EXPECT_EQ(entry->SecondId(), kSetupThread);
    seen.emplace_back(entry->FileOperation(),
                      entry->Path() + (entry->SecondPath().empty() ? u"" : u" -> ") +
                          entry->SecondPath());
  }
  const std::vector<std::pair<uint32_t, std::u16string>> expected = {
      {kFileCreated, u"C:\\Work"},
      {kFileCreated, u"C:\\Work\\a.txt"},
      {kFileWritten, u"C:\\Work\\a.txt"},
      {kFileRenamed, u"C:\\Work\\a.txt -> C:\\Work\\b.txt"},
      {kFileDeleted, u"C:\\Work\\b.txt"},
  };
  EXPECT_EQ(seen, expected);
}

TEST_F(EndToEndTest, StoppedDriverEndsThePolling) {
  machine.Machine().Filter().Stop();
  EXPECT_EQ(collector.PollDriver(), -1);
  EXPECT_TRUE(collector.CloseDriverPort());
  EXPECT_FALSE(collector.ConnectDriverPort());
}

}  // namespace

}  // namespace Intake
