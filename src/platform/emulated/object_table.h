#pragma once
// The kernel objects of the machine: events and mutexes, named or private.

#include "platform/win32_types.h"

namespace Emulated {

class Machine;

class ObjectTable {
 public:
  explicit ObjectTable(Machine& machine);
  ~ObjectTable();

  // SetEvent on a handle of this table; the registry signals change notifications
  // through it.
  Platform::Win32Error SetEvent(Platform::Handle event);

 private:
  Machine& machine_;
};

}  // namespace Emulated
