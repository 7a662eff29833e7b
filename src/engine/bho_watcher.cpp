#include "engine/bho_watcher.h"

#include "engine/load_point_engine.h"
#include "platform/scoped_handle.h"
#include "util/vyr_log.h"

using Families::kBrowserHelperObjectsKey;
using Families::kBrowserHelperObjectsWow64Key;

namespace Engine {

namespace {

bool KeepWatching(const std::atomic<uint32_t>& flagsWord) {
  return (flagsWord.load() & kWatcherKeepWatching) != 0;
}

// Waits for the armed notification. True when a change was seen and recorded in the
// word; false when watching is to stop (told to, or the wait failed).
bool WaitForChange(Platform::System& system, VyrUtilities::VyrLog& log,
                   std::atomic<uint32_t>& flagsWord, Platform::Handle event) {
  Platform::NamedObjects& objects = system.Objects();
  while (KeepWatching(flagsWord)) {
    const uint32_t result = objects.WaitForSingleObject(event, kWatcherWaitStep);
    if (result == Platform::kWaitTimeout) continue;
    if (result != Platform::kWaitObject0) {
      log.Write(u"*** MonitorBHORegistryKey Wait Failure. ***", 1, 1, 0);
      return false;
    }
    // The event is also how the engine wakes a watcher it stops: no change then.
    if (!KeepWatching(flagsWord)) return false;
    flagsWord.fetch_or(kWatcherChangeSeen);
    objects.ResetEvent(event);
    return true;
  }
  return false;
}

}  // namespace

void MonitorBHORegistryKey(Platform::System& system, VyrUtilities::VyrLog& log,
                           std::atomic<uint32_t>& flagsWord) {
  Platform::Handle event = 0;
  bool existed = false;
  if (system.Objects().CreateEvent(true, false, u"", &event, &existed) !=
      Platform::kErrorSuccess) {
    log.Write(u"*** MonitorBHORegistryKey Event Creation Failure. ***", 1, 1, 0);
    return;
  }
  MonitorBHORegistryKey(system, log, flagsWord, event);
  system.Objects().CloseHandle(event);
}

void MonitorBHORegistryKey(Platform::System& system, VyrUtilities::VyrLog& log,
                           std::atomic<uint32_t>& flagsWord, Platform::Handle event) {
  Platform::Registry& registry = system.Registry();
  const bool wow64 = (flagsWord.load() & kWatcherWow64Key) != 0;
  Platform::ScopedKey key;
  if (registry.OpenKey(Platform::kHkeyLocalMachine,
                       wow64 ? kBrowserHelperObjectsWow64Key : kBrowserHelperObjectsKey,
                       Platform::kKeyRead, key.Receive(registry)) != Platform::kErrorSuccess) {
    return;
  }
  while (KeepWatching(flagsWord)) {
    // Names only: a helper object is added or removed as a subkey; value changes
    // below it are the registry event path's business.
    if (registry.NotifyChangeKeyValue(key.Get(), true, Platform::kRegNotifyChangeName, event) !=
        Platform::kErrorSuccess) {
      log.Write(u"*** MonitorBHORegistryKey Notify Set Failure. ***", 1, 1, 0);
      return;
    }
    if (!WaitForChange(system, log, flagsWord, event)) return;
  }
}

}  // namespace Engine
