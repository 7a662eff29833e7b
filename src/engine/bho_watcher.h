#pragma once
// The Browser Helper Object key watchers. Each thread waits for subkeys added or
// removed below its key (the native key, or the 32-bit one when the flag word has
// kWatcherWow64Key) and sets kWatcherChangeSeen in its word; the engine's next
// dispatch rescans the helper objects. The thread runs while kWatcherKeepWatching
// is set and ends at the first failure, which it logs.

#include <atomic>
#include <cstdint>

#include "families/browser/browser_helper_objects.h"
#include "platform/system.h"

namespace VyrUtilities {
class VyrLog;
}

namespace Engine {

// How long one wait lasts before the thread looks at its word again.
inline constexpr uint32_t kWatcherWaitStep = 5000;

// Thread routine: makes its own event and watches until the word loses
// kWatcherKeepWatching (seen at the latest one wait step later) or a failure.
void MonitorBHORegistryKey(Platform::System& system, VyrUtilities::VyrLog& log,
                           std::atomic<uint32_t>& flagsWord);
// The same over a manual-reset event made by the caller, who closes it after the
// thread ended. Clearing kWatcherKeepWatching and then setting the event ends the
// thread at once, which is how the engine stops its watchers.
void MonitorBHORegistryKey(Platform::System& system, VyrUtilities::VyrLog& log,
                           std::atomic<uint32_t>& flagsWord, Platform::Handle event);

}  // namespace Engine
