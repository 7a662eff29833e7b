#pragma once
// Who is acting through a view: the process and, when fixed, the thread.

#include <cstdint>

#include "platform/win32_types.h"

namespace Emulated {

// The views speak the seam's vocabulary.
using Platform::FileTime;
using Platform::Handle;
using Platform::HResult;
using Platform::SystemTime;
using Platform::Win32Error;

struct ViewContext {
  uint32_t processId = 0;
  uint32_t threadId = 0;  // 0: the calling host thread's id in that process
};

}  // namespace Emulated
