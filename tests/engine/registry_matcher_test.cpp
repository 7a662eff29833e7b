#include "engine/registry_event_matcher.h"
#include "intake/brumevale_event.h"
#include "support/engine_fixture.h"

using Engine::AddClassWatch;
using Engine::BuildRegistryWatchTable;
using Engine::Match;
using Engine::RegistryEventMatcher;
using Intake::BrumevaleRegistryEvent;
using Intake::kOpRegistryKeyDeleted;
using Intake::kOpRegistryValueDeleted;
using Intake::kOpRegistryValueSet;

namespace EngineTest {
namespace {

constexpr char16_t kMachine[] = u"\\REGISTRY\\MACHINE\\";
constexpr char16_t kUser1[] = u"\\REGISTRY\\USER\\S-1-5-21-1-2-3-1001\\";
constexpr char16_t kUser2[] = u"\\REGISTRY\\USER\\S-1-5-21-1-2-3-1002\\";

class RegistryMatcherTest : public EngineMachine {
 protected:
  RegistryMatcherTest() { BuildRegistryWatchTable(matcher_); }

  struct Found {
    std::vector<uint32_t> codes;
    std::vector<int32_t> extras;
  };
  Found Lookup(uint32_t op, std::u16string_view key, std::u16string_view value = u"") {
    std::vector<std::unique_ptr<BrumevaleRegistryEvent>> events;
    const int32_t matched = Match(matcher_, *MakeRegistryEntry(system_, op, key, value), events);
    EXPECT_EQ(matched != 0, !events.empty());
    Found found;
    for (const auto& event : events) {
      found.codes.push_back(event->MatcherCode());
      found.extras.push_back(event->ExtraNumber());
    }
    return found;
  }

  RegistryEventMatcher matcher_;
};

struct LookupCase {
  const char* what;
  uint32_t op;
  std::u16string key;
  std::u16string value;
  std::vector<uint32_t> codes;
};

TEST_F(RegistryMatcherTest, WatchTableLookups) {
  const std::u16string m = kMachine;
  const std::u16string run = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::u16string setup = m + u"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{X}";
  const LookupCase cases[] = {
      {"Run, any value", kOpRegistryValueSet, m + run, u"Anything", {1}},
      {"names ignore letter case", kOpRegistryValueDeleted,
       m + u"software\\MICROSOFT\\windows\\currentversion\\run", u"x", {1}},
      {"Active Setup StubPath", kOpRegistryValueSet, setup, u"StubPath", {55}},
      {"Active Setup default value", kOpRegistryValueSet, setup, u"", {57}},
      {"Active Setup other value", kOpRegistryValueSet, setup, u"Version", {}},
      {"service through two wildcards", kOpRegistryValueSet,
       m + u"SYSTEM\\ControlSet002\\Services\\Foo", u"ImagePath", {20}},
      {"service key deletion: its values by name, then children by name", kOpRegistryKeyDeleted,
       m + u"SYSTEM\\ControlSet001\\Services\\Foo", u"", {31, 20, 30, 29, 69, 68, 21}},
      {"WinSock2 is a named child: no fallback to the service wildcard", kOpRegistryValueSet,
       m + u"SYSTEM\\ControlSet001\\Services\\WinSock2", u"ImagePath", {}},
      {"helper-object classes lie below a wildcard", kOpRegistryKeyDeleted,
       m + u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects", u"", {}},
      {"a value of a hive key itself", kOpRegistryValueSet, u"\\REGISTRY\\USER\\S-1-5-18", u"x", {}},
      {"a hive that is no user's", kOpRegistryValueSet, u"\\REGISTRY\\USER\\Other\\" + run, u"x", {}},
      {"user Run, first user", kOpRegistryValueSet, kUser1 + run, u"x", {5}},
      {"user Run, second user", kOpRegistryValueSet, kUser2 + run, u"x", {5}},
      {"user's classes: the extension", kOpRegistryValueSet,
       u"\\REGISTRY\\USER\\S-1-5-21-1-2-3-1001_Classes\\.exe", u"", {94}},
      {"machine classes: a verb's command", kOpRegistryValueSet,
       m + u"SOFTWARE\\Classes\\exefile\\shell\\open\\command", u"", {96}},
      {"a setting", kOpRegistryValueSet,
       kUser1 + std::u16string(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System"),
       u"DisableTaskMgr", {77}},
      {"download tracking", kOpRegistryValueSet,
       kUser1 + std::u16string(u"SOFTWARE\\Kelvra Security\\Brumevale\\URLTracker"), u"1:2", {97}},
  };
  for (const LookupCase& c : cases) {
    EXPECT_EQ(Lookup(c.op, c.key, c.value).codes, c.codes) << c.what;
  }
}

TEST_F(RegistryMatcherTest, ClassWatchesCarryTheirExtraNumbersInTheOrderAdded) {
  const std::u16string server = u"SOFTWARE\\Classes\\CLSID\\{C}\\InProcServer32";
  // Looked at before the watch exists: the answer for the path must not outlive
  // the table it was found in.
  EXPECT_TRUE(Lookup(kOpRegistryValueSet, kMachine + server, u"").codes.empty());
  AddClassWatch(matcher_, Platform::kHkeyLocalMachine, server, u"", 16, 12);
  AddClassWatch(matcher_, Platform::kHkeyLocalMachine, server, u"", 23, 40);
  const Found found = Lookup(kOpRegistryValueSet, kMachine + server, u"");
  EXPECT_EQ(found.codes, (std::vector<uint32_t>{16, 23}));
  EXPECT_EQ(found.extras, (std::vector<int32_t>{12, 40}));
  EXPECT_TRUE(Lookup(kOpRegistryValueSet, kMachine + server, u"ThreadingModel").codes.empty());
  // A class watch has no wildcard: "*" there is a key named "*".
  AddClassWatch(matcher_, Platform::kHkeyLocalMachine, u"SOFTWARE\\Classes\\CLSID\\*", u"", 18, 7);
  EXPECT_TRUE(Lookup(kOpRegistryValueSet, kMachine + std::u16string(u"SOFTWARE\\Classes\\CLSID\\{D}"),
                     u"").codes.empty());
}

}  // namespace
}  // namespace EngineTest
