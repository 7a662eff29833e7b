#include "platform/emulated/services/service_store.h"

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/registry/registry_store.h"

namespace Emulated {

using namespace Platform;

ServiceStore::ServiceStore(Machine& machine) : machine_(machine) {}

// A test that fails half-way leaves its service running; stopping it here lets the
// machine go without a program thread still acting through it.
ServiceStore::~ServiceStore() {
  {
    Lock lock(mutex_);
    for (auto& [name, runtime] : services_) {
      if (runtime->dispatcherConnected && runtime->handler &&
          runtime->status.currentState == kServiceRunning) {
        runtime->controls.push_back(kServiceControlStop);
        ++runtime->controlsQueued;
      }
    }
    changed_.notify_all();
  }
  for (std::thread& program : programs_) program.join();
}

ServiceStore::Runtime& ServiceStore::RuntimeOf(std::u16string_view name) {
  auto it = services_.find(name);
  if (it == services_.end()) {
    it = services_.emplace(std::u16string(name), std::make_unique<Runtime>()).first;
  }
  return *it->second;
}

Win32Error ServiceStore::Resolve(uint32_t processId, Handle handle, HandleRecord::Kind kind,
                                 uint32_t needed, const HandleRecord** record) const {
  const HandleRecord* found = handles_.Find(processId, handle);
  if (found == nullptr || found->kind != kind) return kErrorInvalidHandle;
  if ((found->granted & needed) != needed) return kErrorAccessDenied;
  *record = found;
  return kErrorSuccess;
}

Handle ServiceStore::AddHandle(uint32_t processId, HandleRecord record) {
  if (record.kind == HandleRecord::Kind::kService) ++RuntimeOf(record.serviceName).openHandles;
  return handles_.Open(processId, std::move(record));
}

// The manager's handle always includes the right to connect, as OpenSCManager grants.
Win32Error ServiceStore::OpenManager(uint32_t processId, uint32_t access, Handle* manager) {
  if (manager == nullptr) return kErrorInvalidParameter;
  Lock lock(mutex_);
  *manager = AddHandle(processId, {HandleRecord::Kind::kManager, access | kScManagerConnect, u""});
  return kErrorSuccess;
}

Win32Error ServiceStore::Create(uint32_t processId, Handle manager, const ServiceConfig& config,
                                Handle* service) {
  Lock lock(mutex_);
  const HandleRecord* record = nullptr;
  if (Win32Error e = Resolve(processId, manager, HandleRecord::Kind::kManager,
                             kScManagerCreateService, &record)) {
    return e;
  }
  const std::u16string& name = config.serviceName;
  if (name.empty() || name.find_first_of(u"\\/") != std::u16string::npos) return kErrorInvalidName;
  if (config.binaryPathName.empty()) return kErrorInvalidParameter;
  if (const auto existing = ReadServiceEntry(machine_.RegistryState(), name)) {
    return RuntimeOf(existing->name).markedForDelete ? kErrorServiceMarkedForDelete
                                                      : kErrorServiceExists;
  }
  WriteServiceEntry(machine_.RegistryState(), config);
  if (service != nullptr) {
    *service = AddHandle(processId, {HandleRecord::Kind::kService, config.desiredAccess, name});
  }
  return kErrorSuccess;
}

Win32Error ServiceStore::Open(uint32_t processId, Handle manager, std::u16string_view name,
                              uint32_t access, Handle* service) {
  if (service == nullptr) return kErrorInvalidParameter;
  Lock lock(mutex_);
  const HandleRecord* record = nullptr;
  if (Win32Error e =
          Resolve(processId, manager, HandleRecord::Kind::kManager, kScManagerConnect, &record)) {
    return e;
  }
  const auto entry = ReadServiceEntry(machine_.RegistryState(), name);
  if (!entry) return kErrorServiceDoesNotExist;
  *service = AddHandle(processId, {HandleRecord::Kind::kService, access, entry->name});
  return kErrorSuccess;
}

Win32Error ServiceStore::Delete(uint32_t processId, Handle service) {
  Lock lock(mutex_);
  const HandleRecord* record = nullptr;
  if (Win32Error e = Resolve(processId, service, HandleRecord::Kind::kService, kDelete, &record)) {
    return e;
  }
  Runtime& runtime = RuntimeOf(record->serviceName);
  if (runtime.markedForDelete) return kErrorServiceMarkedForDelete;
  if (!ReadServiceEntry(machine_.RegistryState(), record->serviceName)) {
    return kErrorServiceDoesNotExist;
  }
  runtime.markedForDelete = true;
  MarkServiceEntryDeleted(machine_.RegistryState(), record->serviceName);
  return kErrorSuccess;
}

Win32Error ServiceStore::Close(uint32_t processId, Handle handle) {
  Lock lock(mutex_);
  const std::optional<HandleRecord> record = handles_.Close(processId, handle);
  if (!record) return kErrorInvalidHandle;
  if (record->kind == HandleRecord::Kind::kService) {
    --RuntimeOf(record->serviceName).openHandles;
    RemoveIfDeleted(record->serviceName);
  }
  return kErrorSuccess;
}

// A marked service goes once nothing holds it and nothing of it runs.
void ServiceStore::RemoveIfDeleted(const std::u16string& name) {
  Runtime& runtime = RuntimeOf(name);
  if (!runtime.markedForDelete || runtime.openHandles != 0 || runtime.processId != 0 ||
      runtime.status.currentState != kServiceStopped) {
    return;
  }
  RemoveServiceEntry(machine_.RegistryState(), name);
  services_.erase(name);
}

ServiceStatus ServiceStore::Status(std::u16string_view name) {
  Lock lock(mutex_);
  return RuntimeOf(name).status;
}

std::vector<ServiceStatus> ServiceStore::StatusHistory(std::u16string_view name) {
  Lock lock(mutex_);
  return RuntimeOf(name).history;
}

uint32_t ServiceStore::ServiceProcessId(std::u16string_view name) {
  Lock lock(mutex_);
  return RuntimeOf(name).processId;
}

bool ServiceStore::ReachedLocked(const std::u16string& name, uint32_t state) {
  const Runtime& runtime = RuntimeOf(name);
  if (runtime.status.currentState != state) return false;
  return state != kServiceStopped || runtime.processId == 0;
}

bool ServiceStore::WaitForState(std::u16string_view name, uint32_t state,
                                std::chrono::milliseconds timeout) {
  const std::u16string key(name);
  Lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return ReachedLocked(key, state); });
}

}  // namespace Emulated
