#pragma once
// What the randomized live/rescan agreement tests share: a source of random changes
// that a seed replays exactly, and the check that a rescan of the machine, as the
// periodic thread runs it, finds nothing the live path left behind.

#include <algorithm>
#include <iterator>
#include <random>
#include <string>

#include "support/live_machine.h"

namespace LiveTest {

class RandomChanges {
 public:
  RandomChanges(LiveMachine& live, uint32_t seed) : live_(live), random_(seed) {}

  // Now and then deletes one of the values written so far (or the key that holds it,
  // where that may be), so that deletions meet rows however many places a scenario
  // writes to. True when it took the step.
  bool RemoveWritten() {
    if (written_.empty() || !Chance(25)) return false;
    const Written& value = written_[Pick(written_.size())];
    Remove(value.key, value.name, value.keyToo);
    return true;
  }

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

  // keyToo: the value's key may be deleted too.
  void Set(const std::u16string& key, const std::u16string& name, uint32_t type, const Bytes& data,
           bool keyToo = false) {
    live_.Set(key, name, type, data);
    written_.push_back({key, name, keyToo});
  }

  // Sets the text value, or deletes it (with keyToo, now and then the key that holds it).
  void SetOrRemove(int setPercent, const std::u16string& key, const std::u16string& name,
                   const std::u16string& text, bool keyToo = false) {
    if (Chance(setPercent)) {
      Set(key, name, Platform::kRegSz, Sz(text), keyToo);
    } else {
      Remove(key, name, keyToo);
    }
  }

  bool HasKey(const std::u16string& key, Platform::ScopedKey& handle) {
    Platform::Registry& registry = live_.System().Registry();
    return registry.OpenKey(key.starts_with(u"HKU") ? Platform::kHkeyUsers : Platform::kHkeyLocalMachine,
                            key.substr(key.find(u'\\') + 1), Platform::kKeyRead,
                            handle.Receive(registry)) == Platform::kErrorSuccess;
  }

  // Deletes the value, or (rarely) the key that holds it; nothing when neither is there.
  void Remove(const std::u16string& key, const std::u16string& name, bool keyToo) {
    Platform::ScopedKey handle;
    if (!HasKey(key, handle)) return;
    uint32_t type = 0;
    uint32_t size = 0;
    const bool hasValue = live_.System().Registry().QueryValue(handle.Get(), name, &type, nullptr, 0,
                                                               &size) == Platform::kErrorSuccess;
    handle.Reset();
    if (keyToo && Chance(25)) {
      live_.DeleteKey(key);
    } else if (hasValue) {
      live_.DeleteValue(key, name);
    }
  }

  LiveMachine& live_;

 private:
  struct Written {
    std::u16string key;
    std::u16string name;
    bool keyToo;
  };

  std::mt19937 random_;
  std::vector<Written> written_;
};

// The rows only one of the two tables holds, one a line, marked by the side they are on.
inline std::string RowsApart(SqlRows live, SqlRows rescan) {
  std::sort(live.begin(), live.end());
  std::sort(rescan.begin(), rescan.end());
  std::string text;
  const auto list = [&text](const SqlRows& from, const SqlRows& without, const char* mark) {
    SqlRows apart;
    std::set_difference(from.begin(), from.end(), without.begin(), without.end(), std::back_inserter(apart));
    for (const std::vector<std::string>& row : apart) {
      text += mark;
      for (const std::string& cell : row) text += " | " + cell;
      text += "\n";
    }
  };
  list(live, rescan, "  live:  ");
  list(rescan, live, "  rescan:");
  return text;
}

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
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_TRUE(after[i] == before[i]) << "The rescan changed " << kNames[i] << ":\n"
                                       << RowsApart(before[i], after[i]) << when;
  }
  SqlRows findings = live.EventsAfter(last);
  std::erase_if(findings, [](const std::vector<std::string>& row) { return row.at(0) == "9"; });
  EXPECT_TRUE(findings.empty()) << "The rescan recorded " << findings.size() << " events, " << when;
}

// Runs a few seeds of random steps, with a rescan every 20 steps; a failure names the
// seed and lists every change made, so that a reader can replay it. Every live change
// commits on its own, so steps cost disk writes: a few seeds of a few rescans each.
template <typename Scenario>
void ExpectLiveAgreesWithRescan(const std::string& bootRegistry, uint32_t seeds = 3, int steps = 40) {
  for (uint32_t seed = 1; seed <= seeds && !::testing::Test::HasFailure(); ++seed) {
    LiveMachine live(bootRegistry);
    Scenario scenario(live, seed);
    for (int step = 1; step <= steps && !::testing::Test::HasFailure(); ++step) {
      if (!scenario.RemoveWritten()) scenario.Step();
      if (step % 20 == 0) {
        ExpectRescanChangesNothing(live, "seed " + std::to_string(seed) + ", after " +
                                             std::to_string(step) + " random steps, which made these changes:\n" +
                                             live.StepList());
      }
    }
  }
}

}  // namespace LiveTest
