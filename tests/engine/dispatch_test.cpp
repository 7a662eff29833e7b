#include "engine/file_event_matcher.h"
#include "intake/activity_tracker.h"
#include "intake/brumevale_event.h"
#include "families/common/load_point_catalogue.h"
#include "support/engine_fixture.h"

using Engine::EngineHandlers;
using Engine::LoadPointEngine;
using Engine::kWatcherChangeSeen;
using Intake::BrumevaleFileEvent;
using Intake::BrumevaleRegistryEvent;
using Intake::ProcessEntry;
using Intake::kFileDeleted;
using Intake::kFileRenamed;
using Intake::kFileWritten;
using Intake::kOpRegistryKeyDeleted;
using Intake::kOpRegistryValueDeleted;
using Intake::kOpRegistryValueSet;
using Intake::kProcessStarted;
using enum Intake::MatcherCode;

namespace EngineTest {
namespace {

constexpr char16_t kStartup[] = u"C:\\Users\\alice\\Startup";
constexpr char16_t kBrowser[] = u"C:\\Browser\\browser.exe";
constexpr char16_t kServiceKey[] = u"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001\\Services\\Foo";

// An initialised engine whose handlers only write down how they were called.
class DispatchTest : public EngineMachine {
 protected:
  void SetUp() override {
    EngineHandlers& handlers = engine_.Handlers();
    auto registry = [this](const char* what) {
      return [this, what](LoadPointEngine&, const BrumevaleRegistryEvent& event, uint64_t pid) {
        calls_.push_back(std::string(what) + ":" + std::to_string(event.MatcherCode()) + ":" +
                         std::to_string(pid));
      };
    };
    handlers.loadPointEvent = registry("lp");
    handlers.settingEvent = registry("setting");
    handlers.fileExtensionEvent = registry("ext");
    handlers.folderFileEvent = [this](LoadPointEngine&, const BrumevaleFileEvent& event, uint64_t) {
      calls_.push_back("folder:" + std::to_string(event.MatcherCode()));
    };
    handlers.folderFileRemoval = [this](LoadPointEngine&, const BrumevaleFileEvent& event, uint64_t pid) {
      calls_.push_back("remove:" + std::to_string(event.MatcherCode()) + ":" + Narrow(event.MatcherText()) +
                       ":" + Narrow(event.GetFileName()) + ":" + std::to_string(pid));
      return 1;
    };
    handlers.fullLoadPointScan = [this](LoadPointEngine&, int32_t initial) {
      calls_.push_back("scan:" + std::to_string(initial));
      return 1;
    };
    handlers.checkSystemSettings = [this](LoadPointEngine&) { calls_.push_back("settings"); return 1; };
    handlers.checkFileExtensions = [this](LoadPointEngine&) { calls_.push_back("extensions"); return 1; };
    handlers.scanBrowserHelperObjects = [this](LoadPointEngine& engine, int32_t start, int32_t record) {
      // Which word still waits tells the order of the two rescans.
      const bool wow64Pending = (engine.WatcherFlags(1) & kWatcherChangeSeen) != 0;
      calls_.push_back("bho:" + std::to_string(start) + std::to_string(record) +
                       (wow64Pending ? ":wow64 pending" : ""));
    };
    SetString(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE", u"",
              kBrowser);
    engine_.Initialise(&queue_, &settings_);
    EXPECT_EQ(calls_, (std::vector<std::string>{"scan:1", "settings", "extensions"}));
    calls_.clear();
    engine_.FileMatcher().AddFolder(kUserStartupFolderCode, kStartup, u"alice");
  }

  static std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

  QueueConsumer queue_;
  LoadPointEngine engine_{system_, log_, drives_};
  std::vector<std::string> calls_;
};

TEST_F(DispatchTest, WatcherSignalsRescanHelperObjectsNativeFirstEvenWithAnEmptyQueue) {
  engine_.WatcherFlags(0).fetch_or(kWatcherChangeSeen);
  engine_.WatcherFlags(1).fetch_or(kWatcherChangeSeen);
  EXPECT_EQ(engine_.Dispatch(), 0);
  EXPECT_EQ(calls_, (std::vector<std::string>{"bho:11:wow64 pending", "bho:11"}));
  EXPECT_EQ(engine_.WatcherFlags(0) & kWatcherChangeSeen, 0u);
  EXPECT_EQ(engine_.WatcherFlags(1) & kWatcherChangeSeen, 0u);
  EXPECT_EQ(engine_.Dispatch(), 0);
  EXPECT_EQ(calls_.size(), 2u);
}

TEST_F(DispatchTest, FileEntriesOfWatchedFolders) {
  const std::u16string file = std::u16string(kStartup) + u"\\x.lnk";
  queue_.Add(MakeFileEntry(system_, kFileRenamed, file, u"C:\\Temp\\x.lnk"));
  queue_.Add(MakeFileEntry(system_, kFileRenamed, u"C:\\Temp\\y.lnk", u"C:\\USERS\\Alice\\startup\\y.lnk"));
  queue_.Add(MakeFileEntry(system_, kFileDeleted, file));
  queue_.Add(MakeFileEntry(system_, kFileWritten, std::u16string(kStartup) + u"\\sub\\z.lnk"));
  queue_.Add(MakeFileEntry(system_, kFileWritten, u"C:\\Temp\\z.lnk"));
  EXPECT_EQ(engine_.Dispatch(), 5);
  EXPECT_EQ(calls_, (std::vector<std::string>{"remove:28:alice:x.lnk:42", "folder:28",
                                               "remove:28:alice:x.lnk:42", "folder:28"}));
}

TEST_F(DispatchTest, RegistryEntriesByTheKindOfEachMatchedLocation) {
  queue_.Add(std::make_unique<ProcessEntry>(system_, 4, 300, kProcessStarted, kBrowser, u"D\\u"));
  queue_.Add(MakeRegistryEntry(system_, kOpRegistryKeyDeleted, kServiceKey));
  queue_.Add(MakeRegistryEntry(system_, 0, kServiceKey, u"ImagePath"));  // no known operation
  queue_.Add(MakeRegistryEntry(
      system_, kOpRegistryValueSet,
      u"\\REGISTRY\\USER\\S-1-5-21-1-2-3-1001\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
      u"NoRun", u"1", 77));
  queue_.Add(MakeRegistryEntry(system_, kOpRegistryValueDeleted,
                               u"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\exefile\\shell", u"", u"", 78));
  queue_.Add(MakeRegistryEntry(
      system_, kOpRegistryValueSet,
      u"\\REGISTRY\\USER\\S-1-5-21-1-2-3-1001\\SOFTWARE\\Kelvra Security\\Brumevale\\URLTracker",
      u"300:301", u"http://example.test/setup.exe"));
  EXPECT_EQ(engine_.Dispatch(), 6);
  EXPECT_EQ(calls_, (std::vector<std::string>{"lp:31:42", "lp:20:42", "lp:30:42", "lp:29:42",
                                               "lp:69:42", "lp:68:42", "lp:21:42", "setting:78:77",
                                               "ext:95:78"}));
  EXPECT_TRUE(engine_.Processes().IsBrowserProcess(300));
  EXPECT_EQ(engine_.Tracker().Addresses().size(), 1u);
}

TEST(DispatchWithoutConsumer, ReportsMinusOne) {
  TemporaryMachine machine;
  VyrUtilities::VyrLog log(machine.Service());
  VyrUtilities::DriveMap drives(machine.Service());
  LoadPointEngine engine(machine.Service(), log, drives);
  EXPECT_EQ(engine.Dispatch(), -1);
}

}  // namespace
}  // namespace EngineTest
