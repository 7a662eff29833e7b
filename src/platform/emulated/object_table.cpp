#include "platform/emulated/object_table.h"

#include "platform/emulated/machine.h"

namespace Emulated {

ObjectTable::ObjectTable(Machine& machine) : machine_(machine) {}
ObjectTable::~ObjectTable() = default;

}  // namespace Emulated
