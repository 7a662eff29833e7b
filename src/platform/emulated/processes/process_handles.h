#pragma once
// Open process handles. A handle belongs to the process that opened it and keeps
// what it refers to: like a handle to a process object on Windows, it still answers
// for its image and owner after the process has exited, until it is closed.
//
// Threads: every operation may be called from any thread.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/emulated/machine/owned_handles.h"
#include "platform/win32_types.h"

namespace Emulated {

struct ProcessHandleTarget {
  uint32_t processId = 0;
  std::u16string imagePath;  // drive-letter form
  std::u16string ownerSid;
  bool protectedProcess = false;
};

class ProcessHandles {
 public:
  Platform::Handle Open(uint32_t openerProcessId, ProcessHandleTarget target);
  std::optional<ProcessHandleTarget> Find(uint32_t openerProcessId, Platform::Handle handle) const;
  bool Close(uint32_t openerProcessId, Platform::Handle handle);

 private:
  mutable std::mutex mutex_;
  OwnedHandles<ProcessHandleTarget> handles_{0x9C000};
};

}  // namespace Emulated
