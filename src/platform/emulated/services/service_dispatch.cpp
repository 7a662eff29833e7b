// The service process's side of the manager: the dispatcher, the control handler
// and status reports, and the controls that other processes send.

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/registry/registry_store.h"
#include "platform/emulated/services/service_store.h"

namespace Emulated {

using namespace Platform;

namespace {

constexpr uint32_t kServiceInterrogateRight = 0x0080;
constexpr uint32_t kServicePauseContinueRight = 0x0040;
constexpr uint32_t kServiceUserDefinedControlRight = 0x0100;

uint32_t RightForControl(uint32_t control) {
  switch (control) {
    case kServiceControlStop: return kServiceStop;
    case kServiceControlInterrogate: return kServiceInterrogateRight;
    case kServiceControlPause:
    case kServiceControlContinue: return kServicePauseContinueRight;
    default: return kServiceUserDefinedControlRight;
  }
}

}  // namespace

Win32Error ServiceStore::RunDispatcher(uint32_t processId,
                                       const std::vector<ServiceTableEntry>& table) {
  Lock lock(mutex_);
  const auto process = machine_.ProcessTable().Find(processId);
  if (!process || process->serviceName.empty()) return kErrorFailedServiceControllerConnect;
  Runtime& runtime = RuntimeOf(process->serviceName);
  if (runtime.processId != processId || runtime.dispatcherConnected) {
    return kErrorFailedServiceControllerConnect;
  }
  const ServiceTableEntry* entry = nullptr;
  for (const ServiceTableEntry& candidate : table) {
    if (RegistryNamesEqual(candidate.serviceName, process->serviceName)) entry = &candidate;
  }
  // Windows answers a table without the started service with this error as well:
  // the manager has nobody to talk to.
  if (entry == nullptr || !entry->serviceMain) return kErrorFailedServiceControllerConnect;
  runtime.dispatcherConnected = true;
  runtime.mainEnded = false;
  changed_.notify_all();
  const std::vector<std::u16string> arguments{process->serviceName};
  std::thread main([this, &runtime, &entry, &arguments] {
    entry->serviceMain(arguments);
    Lock mainLock(mutex_);
    runtime.mainEnded = true;
    changed_.notify_all();
  });
  ServeControls(lock, runtime);
  lock.unlock();
  main.join();
  return kErrorSuccess;
}

// The dispatcher thread hands each control to the handler, outside the lock, until
// the service's main routine has returned.
void ServiceStore::ServeControls(Lock& lock, Runtime& runtime) {
  for (;;) {
    changed_.wait(lock, [&] { return runtime.mainEnded || !runtime.controls.empty(); });
    if (runtime.controls.empty()) break;
    const uint32_t control = runtime.controls.front();
    runtime.controls.pop_front();
    const ServiceControlExFunction handler = runtime.handler;
    lock.unlock();
    if (handler) handler(control);
    lock.lock();
    ++runtime.controlsDone;
    changed_.notify_all();
  }
}

Win32Error ServiceStore::Control(uint32_t processId, Handle service, uint32_t control,
                                 ServiceStatus* status) {
  Lock lock(mutex_);
  const HandleRecord* record = nullptr;
  if (Win32Error e = Resolve(processId, service, HandleRecord::Kind::kService,
                             RightForControl(control), &record)) {
    return e;
  }
  const auto entry = ReadServiceEntry(machine_.RegistryState(), record->serviceName);
  if (!entry) return kErrorServiceDoesNotExist;
  Runtime& runtime = RuntimeOf(entry->name);
  if (entry->IsDriver()) {
    if (control == kServiceControlStop) return StopDriver(*entry, status);
    if (control != kServiceControlInterrogate) return kErrorInvalidServiceControl;
    if (runtime.status.currentState != kServiceRunning) return kErrorServiceNotActive;
    if (status != nullptr) *status = runtime.status;
    return kErrorSuccess;
  }
  return DeliverControl(lock, runtime, control, status);
}

Win32Error ServiceStore::DeliverControl(Lock& lock, Runtime& runtime, uint32_t control,
                                        ServiceStatus* status) {
  const uint32_t state = runtime.status.currentState;
  if (state == kServiceStopped) return kErrorServiceNotActive;
  if (!runtime.dispatcherConnected || !runtime.handler) return kErrorServiceCannotAcceptCtrl;
  if (control == kServiceControlShutdown || control == kServiceControlPreshutdown) {
    return kErrorInvalidParameter;
  }
  if (control != kServiceControlInterrogate) {
    if (state == kServiceStartPending || state == kServiceStopPending) {
      return kErrorServiceCannotAcceptCtrl;
    }
    if (control == kServiceControlStop && (runtime.status.controlsAccepted & kServiceAcceptStop) == 0) {
      return kErrorInvalidServiceControl;
    }
  }
  runtime.controls.push_back(control);
  const uint64_t ticket = ++runtime.controlsQueued;
  changed_.notify_all();
  const uint32_t processId = runtime.processId;
  const bool handled = changed_.wait_for(lock, kControlTimeout, [&] {
    return runtime.controlsDone >= ticket || runtime.processId != processId;
  });
  if (!handled) return kErrorServiceRequestTimeout;
  if (status != nullptr) *status = runtime.status;
  return kErrorSuccess;
}

Win32Error ServiceStore::RegisterHandler(uint32_t processId, std::u16string_view name,
                                         ServiceControlExFunction handler, bool extended,
                                         Handle* statusHandle) {
  if (statusHandle == nullptr) return kErrorInvalidParameter;
  Lock lock(mutex_);
  const auto process = machine_.ProcessTable().Find(processId);
  if (!process || !RegistryNamesEqual(process->serviceName, name)) {
    return kErrorServiceDoesNotExist;
  }
  Runtime& runtime = RuntimeOf(process->serviceName);
  if (runtime.processId != processId) return kErrorServiceDoesNotExist;
  runtime.handler = std::move(handler);
  runtime.extendedHandler = extended;
  *statusHandle =
      AddHandle(processId, {HandleRecord::Kind::kStatus, 0, process->serviceName});
  return kErrorSuccess;
}

Win32Error ServiceStore::SetStatus(uint32_t processId, Handle statusHandle,
                                   const ServiceStatus& status) {
  Lock lock(mutex_);
  const HandleRecord* record = nullptr;
  if (Win32Error e = Resolve(processId, statusHandle, HandleRecord::Kind::kStatus, 0, &record)) {
    return e;
  }
  if (status.currentState < kServiceStopped || status.currentState > 7) {
    return kErrorInvalidData;
  }
  const std::u16string name = record->serviceName;
  Runtime& runtime = RuntimeOf(name);
  runtime.status = status;
  runtime.history.push_back(status);
  changed_.notify_all();
  return kErrorSuccess;
}

}  // namespace Emulated
