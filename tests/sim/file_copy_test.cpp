// Scenarios that write exact bytes: an installer drops a real executable it carries
// and registers a task written in UTF-16, as the task scheduler writes it. The
// drive must hold the very bytes, and the driver must report the steps in the name
// of the acting process and thread.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/emulated/minifilter/driver_record.h"
#include "platform/emulated/minifilter/minifilter.h"
#include "platform/text_encoding.h"
#include "image_files.h"
#include "sim/machine_image.h"
#include "sim/scenario_player.h"
#include "sim/sim_commands.h"
#include "support/temporary_folder.h"

namespace {

namespace fs = std::filesystem;
using SimTest::Read;
using SimTest::Write;

// A real task file where the shared test data is there, else one made in its shape.
const fs::path kRealTask = fs::path(BRUMEVALE_SHARED_DIR) / "testdata/real/tasks/ScheduledDefrag.xml";
const fs::path kFixtureTask = fs::path(BRUMEVALE_FIXTURES_DIR) / "tasks/NightlySweep.xml";
const fs::path kRealPe = fs::path(BRUMEVALE_SIM_PE_DIR) / "root/usr/x86_64-w64-mingw32/lib/zlib1.dll";
constexpr uint32_t kInstaller = 2000;
constexpr uint32_t kInstallerThread = 2004;
constexpr uint32_t kWatcher = 900;

// A UTF-16LE file (after its byte-order mark) as one scenario word: quotes, line
// ends and backslashes escaped.
std::string ScenarioText(const std::string& utf16File) {
  std::u16string text;
  for (size_t i = 2; i + 1 < utf16File.size(); i += 2)
    text += static_cast<char16_t>(static_cast<uint8_t>(utf16File[i]) | static_cast<uint8_t>(utf16File[i + 1]) << 8);
  std::string out;
  for (char c : Platform::Utf16ToUtf8(text)) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else out += c;
  }
  return out;
}

struct FileRecord {
  uint32_t operation;
  uint64_t fileObject, process, thread;
  std::u16string name;
};

class FileCopyScenario : public ::testing::Test {
 protected:
  void SetUp() override {
    Write(folder_.Path() / "machine.json",
          R"({"processes": [{"pid": 2000, "image": "D:\\setup.exe"}]})");
    for (const char* hive : {"SYSTEM", "SOFTWARE"})
      Write(folder_.Path() / "drives/C/Windows/System32/config" / (std::string(hive) + ".reg"),
            "Windows Registry Editor Version 5.00\r\n");
  }

  std::unique_ptr<Sim::BootedImage> Boot() {
    std::string error;
    auto image = Sim::BootedImage::Boot(folder_.String(), &error);
    EXPECT_TRUE(image) << error;
    return image;
  }

  // Checks before anything runs, then plays every line; the driver runs meanwhile.
  std::vector<FileRecord> Play(Sim::BootedImage& image, const std::string& text) {
    Sim::Scenario scenario;
    std::string error;
    EXPECT_TRUE(Sim::ParseScenario(text, "t.scenario", &scenario, &error)) << error;
    EXPECT_TRUE(Sim::CheckCopySources(image.Machine(), scenario, "t.scenario", &error)) << error;
    image.Machine().Filter().Start();
    Platform::FilterPort& port = image.Machine().Process(kWatcher).FilterPort();
    Platform::Handle handle = 0;
    EXPECT_EQ(port.ConnectCommunicationPort(Emulated::Minifilter::kPortName, 0, {}, &handle), 0);
    for (const auto& action : scenario.actions) {
      std::string problem, note;
      EXPECT_TRUE(Sim::PlayProcessAction(image.Machine(), action, &problem, &note)) << problem;
    }
    return Drain(port, handle);
  }

  static std::vector<FileRecord> Drain(Platform::FilterPort& port, Platform::Handle handle) {
    std::vector<uint8_t> reply(Emulated::kDriverReplyCapacity);
    alignas(8) uint8_t request[4] = {};
    uint32_t returned = 0;
    EXPECT_EQ(port.SendMessage(handle, request, reply, &returned), 0);
    const uint32_t count = request[0] | request[1] << 8 | request[2] << 16 | uint32_t{request[3]} << 24;
    const auto records = Emulated::DecodeDriverRecords({reply.data(), returned}, count);
    EXPECT_TRUE(records);
    std::vector<FileRecord> files;
    for (const auto& r : records.value_or(std::vector<Emulated::DriverRecord>{})) {
      size_t offset = 0;
      if (r.operation <= Emulated::DriverOperation::kFileWriteFinished)
        files.push_back({r.operation, r.id1, r.id2, r.id3, *Emulated::ReadRecordString(r.data, &offset)});
    }
    return files;
  }

  TemporaryFolder folder_;
};

TEST_F(FileCopyScenario, DropsARealExecutableAndAUtf16Task) {
  if (!fs::exists(kRealPe)) GTEST_SKIP() << "no real PE file at " << kRealPe << " (fetched by ctest's sim_fetch_pe)";
  const std::string pe = Read(kRealPe), task = Read(fs::exists(kRealTask) ? kRealTask : kFixtureTask);
  ASSERT_FALSE(task.empty());
  Write(folder_.Path() / "drives/D/payload/zlib1.dll", pe);
  auto image = Boot();
  ASSERT_TRUE(image);
  const auto records = Play(*image,
      "2000 thread create tid=2004\n"
      "2000:2004 file copy D:\\payload\\zlib1.dll \"C:\\Program Files\\Velo\\zlib1.dll\"\n"
      "2000:2004 file write C:\\Windows\\System32\\Tasks\\VeloUpdate \"" + ScenarioText(task) +
      "\" encoding=utf-16le\n");

  EXPECT_EQ(Read(folder_.Path() / "drives/C/Program Files/Velo/zlib1.dll"), pe);
  EXPECT_EQ(Read(folder_.Path() / "drives/C/Windows/System32/Tasks/VeloUpdate"), task);
  EXPECT_EQ(Read(folder_.Path() / "drives/D/payload/zlib1.dll"), pe);

  using namespace Emulated::DriverOperation;
  // Each file's steps, all on one handle of the acting thread.
  const auto steps = [&](std::u16string_view tail) {
    std::vector<uint32_t> operations;
    std::optional<uint64_t> handle;
    for (const FileRecord& r : records) {
      if (!r.name.ends_with(tail)) continue;
      operations.push_back(r.operation);
      EXPECT_EQ(r.process, kInstaller);
      EXPECT_EQ(r.thread, kInstallerThread);
      EXPECT_EQ(r.fileObject, handle.value_or(r.fileObject));
      handle = r.fileObject;
    }
    return operations;
  };
  const std::vector<uint32_t> written = {kFileCreated, kFileWriteStarted, kFileWriteFinished, kFileClosed};
  EXPECT_EQ(steps(u"\\Program Files\\Velo\\zlib1.dll"), written);
  EXPECT_EQ(steps(u"\\Windows\\System32\\Tasks\\VeloUpdate"), written);
  // The source is read, not changed: its handle's close is all the driver sees.
  EXPECT_EQ(steps(u"\\payload\\zlib1.dll"), std::vector<uint32_t>{kFileClosed});
}

// A copy runs as CopyFile: over an existing file, with the source's write time, and
// in blocks, each a write of its own.
TEST_F(FileCopyScenario, OverwritesInBlocksAndKeepsTheWriteTime) {
  std::string big(2 * (1 << 20) + 5, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  Write(folder_.Path() / "drives/C/big.bin", big);
  Write(folder_.Path() / "drives/C/old.bin", "old contents");
  auto image = Boot();
  ASSERT_TRUE(image);
  const auto records = Play(*image, "2000 file copy C:\\BIG.BIN C:\\old.bin\n");
  EXPECT_EQ(Read(folder_.Path() / "drives/C/old.bin"), big);
  size_t writes = 0;
  for (const FileRecord& r : records) writes += r.operation == Emulated::DriverOperation::kFileWriteStarted;
  EXPECT_EQ(writes, 3u);
  Platform::FileAttributeData source, copy;
  Platform::FileSystem& files = image->Machine().Process(kInstaller).Files();
  ASSERT_EQ(files.GetFileAttributesEx(u"C:\\big.bin", &source), 0u);
  ASSERT_EQ(files.GetFileAttributesEx(u"C:\\old.bin", &copy), 0u);
  EXPECT_EQ(copy.lastWriteTime, source.lastWriteTime);
}

// A folder is no source; a file an earlier line writes is one, under any case.
TEST_F(FileCopyScenario, SourceIsAFileOfTheImageOrOfAnEarlierLine) {
  Write(folder_.Path() / "drives/C/setup/readme.txt", "x");
  auto image = Boot();
  ASSERT_TRUE(image);
  Sim::Scenario scenario;
  std::string error;
  ASSERT_TRUE(Sim::ParseScenario("wait 1\n2000 file copy C:\\setup C:\\a\n", "t.scenario", &scenario, &error));
  EXPECT_FALSE(Sim::CheckCopySources(image->Machine(), scenario, "t.scenario", &error));
  EXPECT_EQ(error, "t.scenario:2: file copy: the source \"C:\\setup\" is a folder; file copy copies one file");
  ASSERT_TRUE(Sim::ParseScenario("2000 file write C:\\Setup\\Agent.exe MZ\n"
                                 "2000 file copy c:\\setup\\agent.EXE C:\\a.exe\n",
                                 "t.scenario", &scenario, &error));
  EXPECT_TRUE(Sim::CheckCopySources(image->Machine(), scenario, "t.scenario", &error)) << error;
}

// brumevale-sim run refuses such a scenario before the service is installed:
// exit code 1 and nothing in the image changes.
TEST_F(FileCopyScenario, RunRefusesAMissingSourceAndChangesNothing) {
  Write(folder_.Path() / "t.scenario", "2000 file copy D:\\gone.exe C:\\gone.exe\n");
  const std::string software = Read(folder_.Path() / "drives/C/Windows/System32/config/SOFTWARE.reg");
  std::ostringstream out, err;
  EXPECT_EQ(Sim::RunImage(folder_.String(), (folder_.Path() / "t.scenario").string(), false, out, err), 1);
  EXPECT_EQ(err.str(), "t.scenario:1: file copy: the source \"D:\\gone.exe\" is not a file of the image, "
                       "nor written by an earlier line\n");
  EXPECT_EQ(Read(folder_.Path() / "drives/C/Windows/System32/config/SOFTWARE.reg"), software);
  EXPECT_FALSE(fs::exists(folder_.Path() / "drives/C/ProgramData/Kelvra Security"));
}

// "file hold": the file stays open in the holder's name until it exits; meanwhile
// a reader that shares reads (as the trust provider opens files) is refused under
// share=none and admitted under share=read. The handle closes as the holder ends.
TEST_F(FileCopyScenario, HeldFileShutsReadersOutUntilTheHolderExits) {
  Write(folder_.Path() / "drives/C/app.exe", "MZ");
  Write(folder_.Path() / "drives/C/lib.dll", "MZ");
  auto image = Boot();
  ASSERT_TRUE(image);
  Platform::FileSystem& reader = image->Machine().Process(kWatcher).Files();
  const auto openForReading = [&](const char16_t* path) {
    Platform::Handle file = 0;
    const auto rc = reader.CreateFile(path, Platform::kGenericRead, Platform::kFileShareRead,
                                      Platform::kOpenExisting, 0, &file);
    if (rc == 0) reader.CloseFile(file);
    return rc;
  };
  Sim::Scenario holds;
  std::string error, problem, note;
  ASSERT_TRUE(Sim::ParseScenario("2000 file hold C:\\app.exe\n2000 file hold C:\\lib.dll share=read\n", "t.scenario",
                                 &holds, &error));
  for (const auto& action : holds.actions)
    ASSERT_TRUE(Sim::PlayProcessAction(image->Machine(), action, &problem, &note)) << problem;
  EXPECT_EQ(openForReading(u"C:\\app.exe"), Platform::kErrorSharingViolation);
  EXPECT_EQ(openForReading(u"C:\\lib.dll"), 0u);
  const auto records = Play(*image, "2000 process exit 2000\n");
  EXPECT_EQ(openForReading(u"C:\\app.exe"), 0u);
  const auto closes = std::count_if(records.begin(), records.end(), [](const FileRecord& r) {
    return r.operation == Emulated::DriverOperation::kFileClosed && r.process == kInstaller;
  });
  EXPECT_EQ(closes, 2);

  Sim::Scenario scenario;
  ASSERT_TRUE(Sim::ParseScenario("900 file hold C:\\gone.exe\n", "t.scenario", &scenario, &error));
  image->Machine().ProcessTable().Add({kWatcher, 4, u"C:\\w.exe", u"S-1-5-18", u"", u"", {}, false, {}});
  EXPECT_FALSE(Sim::PlayProcessAction(image->Machine(), scenario.actions[0], &problem, &note));
  EXPECT_EQ(problem, "opening the file to hold failed with error 2");
}

}  // namespace
