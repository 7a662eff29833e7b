#pragma once
// NamedObjects of one process of the emulated machine: the machine's object table,
// whose mutexes belong to host threads, so the view adds nothing of its own.

#include "platform/emulated/machine/view_context.h"
#include "platform/named_objects.h"

namespace Emulated {

class Machine;

class NamedObjectsView : public Platform::NamedObjects {
 public:
  NamedObjectsView(Machine& machine, ViewContext context) : machine_(machine), context_(context) {}

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

 private:
  Machine& machine_;
  [[maybe_unused]] ViewContext context_;
};

}  // namespace Emulated
