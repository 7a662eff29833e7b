#include <chrono>
#include <thread>

#include "database/load_point_database.h"
#include "engine/bho_watcher.h"
#include "fileinfo/user_identity.h"
#include "support/engine_fixture.h"
#include "util/path_routines.h"

using Engine::LoadPointEngine;
using Engine::kLoggerMutexName;
using Engine::kWatcherChangeSeen;
using Engine::kWatcherWow64Key;
using Families::kBrowserHelperObjectsKey;
using Families::kBrowserHelperObjectsWow64Key;
using FileInfo::CollectControlSets;

namespace EngineTest {
namespace {

class EngineLifecycleTest : public EngineMachine {};

// Another process (here: another thread) can take the logger mutex only once the
// engine has released it.
bool LoggerMutexIsFree(Platform::System& system) {
  bool free = false;
  std::thread other([&] {
    Platform::Handle mutex = 0;
    bool existed = false;
    if (system.Objects().CreateMutex(false, kLoggerMutexName, &mutex, &existed) !=
        Platform::kErrorSuccess) {
      return;
    }
    free = existed && system.Objects().WaitForSingleObject(mutex, 0) == Platform::kWaitObject0;
    if (free) system.Objects().ReleaseMutex(mutex);
    system.Objects().CloseHandle(mutex);
  });
  other.join();
  return free;
}

TEST_F(EngineLifecycleTest, InitialiseBuildsEverythingAndShutdownStopsTheWatchers) {
  for (auto key : {u"SYSTEM\\ControlSet001", u"SYSTEM\\Select", u"SYSTEM\\ControlSet002"}) SetString(key);
  SetString(kBrowserHelperObjectsKey);
  SetString(kBrowserHelperObjectsWow64Key);
  QueueConsumer queue;
  LoadPointEngine engine(system_, log_, drives_);
  engine.Initialise(&queue, &settings_);

  std::vector<std::u16string> expectedSets;
  CollectControlSets(system_, expectedSets);
  EXPECT_EQ(engine.ControlSets(), expectedSets);
  EXPECT_EQ(expectedSets.size(), 2u);
  Platform::FileAttributeData file;
  EXPECT_EQ(system_.Files().GetFileAttributesEx(settings_.DataDirectory() + u"\\Brumevale.data", &file),
            Platform::kErrorSuccess);
  ASSERT_NE(engine.Database(), nullptr);
  EXPECT_TRUE(engine.Database()->IsOpen());
  EXPECT_TRUE(LoggerMutexIsFree(system_));
  EXPECT_EQ(engine.SvchostPath(),
            VyrUtilities::GetSpecialFolder(system_, Platform::kCsidlSystem) + u"\\svchost.exe");

  // A new helper object under the 32-bit key reaches the next dispatch only.
  int rescans = 0;
  engine.Handlers().scanBrowserHelperObjects = [&](LoadPointEngine&, int32_t, int32_t) { ++rescans; };
  // The watcher arms its notification on its own thread, and a change made before that
  // is not reported (as on Windows), so one more helper object is added every 100 ms
  // until the watcher has seen one.
  for (int i = 0; i < 1000 && (engine.WatcherFlags(1) & kWatcherChangeSeen) == 0; ++i) {
    if (i % 10 == 0) {
      SetString(std::u16string(kBrowserHelperObjectsWow64Key) + u"\\{B" +
                static_cast<char16_t>(u'A' + i / 10 % 26) + static_cast<char16_t>(u'A' + i / 260) + u"}");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(engine.WatcherFlags(0) & kWatcherChangeSeen, 0u);
  EXPECT_EQ(engine.Dispatch(), 0);
  EXPECT_EQ(rescans, 1);

  engine.Shutdown();
  EXPECT_EQ(engine.WatcherFlags(0).load(), 0u);
  EXPECT_EQ(engine.WatcherFlags(1).load(), kWatcherWow64Key);
  EXPECT_FALSE(engine.Database()->IsOpen());
}

}  // namespace
}  // namespace EngineTest
