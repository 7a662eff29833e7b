// Download tracking: addresses from the tracking key, links from fetching threads to
// the threads they create, and the tag written on the downloaded file.

#include <gtest/gtest.h>

#include <set>

#include "support/temporary_machine.h"
#include "intake/activity_tracker.h"
#include "intake/record_builder.h"
#include "intake/registry_entry.h"
#include "util/vyr_log.h"

namespace Intake {

namespace {

constexpr uint64_t kBrowser = 1300;
constexpr char16_t kAddress[] = u"http://example.test/files/setup.exe";

// The tracker only asks which processes are browsers and who owns them.
class BrowserList : public IProcessMonitor {
 public:
  const std::u16string& GetProcessPath(uint64_t) const override { return empty_; }
  const std::u16string& GetProcessOwner(uint64_t pid) const override {
    return browsers.count(pid) ? owner_ : empty_;
  }
  bool IsBrowserProcess(uint64_t pid) const override { return browsers.count(pid) != 0; }
  bool IsGuardProcess(uint64_t) const override { return false; }

  std::set<uint64_t> browsers{kBrowser};

 private:
  std::u16string empty_;
  std::u16string owner_ = u"DESK\\ann";
};

class ActivityTrackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(log.Open(u"C:\\tracker.log", 1));
    ASSERT_EQ(system.Files().CreateDirectory(u"C:\\Downloads"), Platform::kErrorSuccess);
  }

  // A tracking-key value named name holding address.
  void Download(std::u16string_view name, std::u16string_view address = kAddress,
                uint32_t operation = 0x2000, uint32_t code = kDownloadTrackingCode) {
    const std::vector<uint8_t> data =
        Concat({Wide(u"\\REGISTRY\\USER\\S-1-5-21-1-2-3-1001\\Software\\URLTracker"), Wide(name),
                Wide(address)});
    const DriverRecord record{.dataLength = static_cast<uint32_t>(data.size()), .id2 = kBrowser,
                              .operation = operation, .detail = 1, .data = data};
    tracker.OnDownloadEvent(BrumevaleRegistryEvent(RegistryEntry(system, record), code, 0));
  }
  // Thread `thread` of process creates (or, with 0x1000, ends) thread `subject`.
  void Thread(uint64_t process, uint64_t thread, uint64_t subject, uint32_t operation = 0x800) {
    const DriverRecord record{.id1 = subject, .id2 = process, .id3 = thread,
                              .operation = operation};
    tracker.OnThreadEntry(ThreadEntry(system, record));
  }
  void Write(uint64_t process, uint64_t thread, std::u16string_view path,
             uint32_t operation = kFileWritten) {
    FileEntry entry;
    entry.SetHeader(system, kEntryFile, process, thread);
    entry.SetFile(operation, std::u16string(path), 0);
    tracker.OnFileEntry(entry);
  }
  std::u16string ReadText(std::u16string_view path) {
    Platform::Handle file = 0;
    if (system.Files().CreateFile(path, Platform::kGenericRead,
                                  Platform::kFileShareRead | Platform::kFileShareWrite,
                                  Platform::kOpenExisting, 0, &file) != Platform::kErrorSuccess) {
      return u"<none>";
    }
    std::vector<uint8_t> bytes(4096);
    uint32_t read = 0;
    system.Files().ReadFile(file, bytes, &read);
    system.Files().CloseFile(file);
    std::u16string text;
    for (uint32_t i = 0; i + 1 < read; i += 2) text.push_back(bytes[i] | (bytes[i + 1] << 8));
    return text;
  }
  std::u16string Tag(std::u16string_view path) {
    return ReadText(std::u16string(path) + u":Brumevale.URL");
  }
  // Browser thread 8 fetches kAddress and creates thread 12, which writes the file.
  void FetchThroughWorker() {
    Download(u"1300:8");
    Thread(kBrowser, 8, 12);
  }

  TemporaryMachine machine;
  Platform::System& system = machine.Service();
  BrowserList processes;
  VyrUtilities::VyrLog log{system};
  ActivityTracker tracker{system, processes, log};
};

TEST_F(ActivityTrackerTest, OnlyWellFormedNamesOfBrowserProcessesGiveAddresses) {
  for (std::u16string_view name : {u"1300", u"1300:5:6", u"1300:x5", u"1400:20", u"-:5"}) {
    Download(name);
  }
  Download(u"1300:21", kAddress, 0x4000);      // a delete
  Download(u"1300:22", kAddress, 0x2000, 12);  // another location
  EXPECT_TRUE(tracker.Addresses().empty());

  Download(u"1300:8");
  Download(u"1300:8", u"http://example.test/other.exe");
  ASSERT_EQ(tracker.Addresses().size(), 1u);
  EXPECT_EQ(tracker.Addresses().at(u"1300:8"), kAddress);  // the first address stays
}

TEST_F(ActivityTrackerTest, ThreadsAreLinkedOnlyToCreatorsWithAnAddress) {
  Thread(kBrowser, 8, 12);  // no address yet
  EXPECT_TRUE(tracker.ThreadLinks().empty());
  FetchThroughWorker();
  Thread(1400, 8, 16);  // not a browser
  ASSERT_EQ(tracker.ThreadLinks().size(), 1u);
  EXPECT_EQ(tracker.ThreadLinks().at(u"1300:12"), u"1300:8");

  Thread(kBrowser, 12, 12, 0x1000);  // the worker ends: its link goes
  EXPECT_TRUE(tracker.ThreadLinks().empty());
  Thread(kBrowser, 8, 8, 0x1000);  // the fetching thread ends: its address goes
  EXPECT_TRUE(tracker.Addresses().empty());
}

TEST_F(ActivityTrackerTest, OnlyTheDownloadWrittenByALinkedThreadIsTagged) {
  FetchThroughWorker();
  for (std::u16string_view path : {u"C:\\Downloads\\setup.exe", u"C:\\Downloads\\setup[1].msi",
                                   u"C:\\Downloads\\other[1].exe"}) {
    Write(kBrowser, 12, path);
  }
  Write(kBrowser, 8, u"C:\\Downloads\\setup[2].exe");  // the fetching thread itself
  Write(kBrowser, 12, u"C:\\Downloads\\setup[3].exe", kFileDeleted);
  Write(kBrowser, 12, u"C:\\Downloads\\setup[1].exe");
  Write(kBrowser, 12, u"C:\\Downloads\\tool.exe:Zone.Identifier");
  std::vector<std::u16string> tagged;
  for (std::u16string_view name : {u"setup.exe", u"setup[1].msi", u"other[1].exe", u"setup[2].exe",
                                   u"setup[3].exe", u"setup[1].exe", u"tool.exe"}) {
    if (Tag(u"C:\\Downloads\\" + std::u16string(name)) != u"<none>") tagged.emplace_back(name);
  }
  EXPECT_EQ(tagged, (std::vector<std::u16string>{u"setup[1].exe", u"tool.exe"}));
  const std::u16string tag = Tag(u"C:\\Downloads\\setup[1].exe");
  const std::u16string prefix = std::u16string(kAddress) + u"\nDESK\\ann\n";
  EXPECT_EQ(tag.substr(0, prefix.size()), prefix);
  EXPECT_EQ(tag.size(), prefix.size() + 19);  // 2024-05-01 13:05:09, no terminator
}

TEST_F(ActivityTrackerTest, RemovedAddressStopsTaggingThroughOldLinks) {
  FetchThroughWorker();
  Thread(kBrowser, 8, 8, 0x1000);
  Write(kBrowser, 12, u"C:\\Downloads\\setup[1].exe");
  EXPECT_EQ(Tag(u"C:\\Downloads\\setup[1].exe"), u"<none>");
}

TEST_F(ActivityTrackerTest, TagThatCannotBeCreatedIsLogged) {
  EXPECT_FALSE(tracker.WriteUrlTag(u"C:\\Missing\\setup[1].exe", kAddress, u"DESK\\ann"));
  log.Close();
  const std::u16string text = ReadText(u"C:\\tracker.log");
  EXPECT_NE(text.find(u"] Failed to create URL tag. File=\"C:\\Missing\\setup[1].exe\" Error Code="),
            std::u16string::npos);
}

}  // namespace

}  // namespace Intake
