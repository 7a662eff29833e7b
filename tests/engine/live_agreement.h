#pragma once
// What the randomized live/rescan agreement tests share: a source of random changes
// that a seed replays exactly, and the check that a rescan of the machine, as the
// periodic thread runs it, finds nothing the live path left behind.

#include <random>
#include <string>

#include "support/live_machine.h"

namespace LiveTest {

class RandomChanges {
 public:
  RandomChanges(LiveMachine& live, uint32_t seed) : live_(live), random_(seed) {}

 protected:
  size_t Pick(size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random_); }
  template <typename T, size_t N>
  const T& Of(const T (&items)[N]) { return items[Pick(N)]; }
  bool Chance(int percent) { return static_cast<int>(Pick(100)) < percent; }

  // Paths in different letter case name the same program; the empty one none.
  std::u16string Command() {
    static constexpr const char16_t* kCommands[] = {u"C:\\a.exe", u"c:\\A.EXE", u"C:\\b.exe -x",
                                                    u"\"C:\\Program Files\\c.exe\"", u""};
    return Of(kCommands);
  }

  // Sets the text value, or deletes it (with keyToo, now and then the key that holds it).
  void SetOrRemove(int setPercent, const std::u16string& key, const std::u16string& name,
                   const std::u16string& text, bool keyToo = false) {
    if (Chance(setPercent)) {
      live_.SetSz(key, name, text);
    } else {
      Remove(key, name, keyToo);
    }
  }

  // Deletes the value, or (rarely) the key that holds it; nothing when neither is there.
  void Remove(const std::u16string& key, const std::u16string& name, bool keyToo) {
    Platform::ScopedKey handle;
    Platform::Registry& registry = live_.System().Registry();
    if (registry.OpenKey(key.starts_with(u"HKU") ? Platform::kHkeyUsers : Platform::kHkeyLocalMachine,
                         key.substr(key.find(u'\\') + 1), Platform::kKeyRead,
                         handle.Receive(registry)) != Platform::kErrorSuccess) {
      return;
    }
    uint32_t type = 0;
    uint32_t size = 0;
    const bool hasValue = registry.QueryValue(handle.Get(), name, &type, nullptr, 0, &size) ==
                          Platform::kErrorSuccess;
    handle.Reset();
    if (keyToo && Chance(25)) {
      live_.DeleteKey(key);
    } else if (hasValue) {
      live_.DeleteValue(key, name);
    }
  }

  LiveMachine& live_;

 private:
  std::mt19937 random_;
};

// A start rescan, which also resolves every stored class again, followed by the
// system-setting and executable-command checks: whatever they would store or record
// differently, the live path got wrong. The checks' own "ran" event is no finding.
inline void ExpectRescanChangesNothing(LiveMachine& live, const std::string& when) {
  const auto tables = [&live] {
    return std::vector<SqlRows>{
        live.LoadPoints(), live.Indirections(),
        live.Sql("SELECT TYPE, USER_ID, PATH, CURRENT_VALUE FROM SystemSetting ORDER BY KEY"),
        live.Sql("SELECT TYPE, USER_ID, ENTRY_ID, VERB, ENTRY_VALUE FROM FileExtension ORDER BY KEY")};
  };
  const std::vector<SqlRows> before = tables();
  const int64_t last = live.LastEventKey();
  live.Engine().Rescan(1);
  const std::vector<SqlRows> after = tables();
  const char* kNames[] = {"LoadPoints", "Indirection", "SystemSetting", "FileExtension"};
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(after[i], before[i]) << kNames[i] << ", " << when;
  SqlRows findings = live.EventsAfter(last);
  std::erase_if(findings, [](const std::vector<std::string>& row) { return row.at(0) == "9"; });
  EXPECT_TRUE(findings.empty()) << when;
}

// Runs a few seeds of random steps, with a rescan every 20 steps; a failure names the
// seed and lists every change made, so that a reader can replay it.
template <typename Scenario>
void ExpectLiveAgreesWithRescan(const std::string& bootRegistry, int steps = 60) {
  for (uint32_t seed = 1; seed <= 4 && !::testing::Test::HasFailure(); ++seed) {
    LiveMachine live(bootRegistry);
    Scenario scenario(live, seed);
    for (int step = 1; step <= steps && !::testing::Test::HasFailure(); ++step) {
      scenario.Step();
      if (step % 20 == 0) {
        ExpectRescanChangesNothing(live, "seed " + std::to_string(seed) + ", after step " +
                                             std::to_string(step) + ":\n" + live.StepList());
      }
    }
  }
}

}  // namespace LiveTest
