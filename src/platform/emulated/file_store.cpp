#include "platform/emulated/file_store.h"

#include "platform/emulated/machine.h"

namespace Emulated {

FileStore::FileStore(Machine& machine) : machine_(machine) {}
FileStore::~FileStore() = default;

}  // namespace Emulated
