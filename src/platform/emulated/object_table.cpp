#include "platform/emulated/object_table.h"

#include "platform/emulated/machine.h"

namespace Emulated {

ObjectTable::ObjectTable(Machine& machine) : machine_(machine) {}
ObjectTable::~ObjectTable() = default;

Platform::Win32Error ObjectTable::SetEvent(Platform::Handle) { return Platform::kErrorInvalidHandle; }

}  // namespace Emulated
