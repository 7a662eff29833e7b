#pragma once
// Platform::NamedObjects over kernel32's events, mutexes and waits.

#include "platform/named_objects.h"

namespace Win32 {

class NamedObjects final : public Platform::NamedObjects {
 public:
  using Handle = Platform::Handle;
  using Win32Error = Platform::Win32Error;

  Win32Error CreateEvent(bool manualReset, bool initialState, std::u16string_view name,
                         Handle* event, bool* alreadyExisted) override;
  Win32Error SetEvent(Handle event) override;
  Win32Error ResetEvent(Handle event) override;
  Win32Error CreateMutex(bool initialOwner, std::u16string_view name, Handle* mutex,
                         bool* alreadyExisted) override;
  Win32Error ReleaseMutex(Handle mutex) override;
  uint32_t WaitForSingleObject(Handle object, uint32_t milliseconds) override;
  uint32_t WaitForMultipleObjects(std::span<const Handle> objects, bool waitAll,
                                  uint32_t milliseconds) override;
  Win32Error CloseHandle(Handle object) override;
};

}  // namespace Win32
