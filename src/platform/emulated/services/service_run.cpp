// The running side of the manager: starting services and their processes, the
// dispatcher of a service process, controls and status reports.

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/minifilter/minifilter.h"
#include "platform/emulated/processes/process_control.h"
#include "platform/emulated/processes/program_table.h"
#include "platform/emulated/registry/registry_store.h"
#include "platform/emulated/services/service_image.h"
#include "platform/emulated/services/service_store.h"

namespace Emulated {

using namespace Platform;

namespace {

constexpr std::u16string_view kMinifilterImage = u"BrumevaleLookout.sys";
constexpr Win32Error kErrorProcessAborted = 1067;

bool IsMinifilter(const ServiceEntry& entry) {
  return RegistryNamesEqual(ImageFileName(entry.imagePath), kMinifilterImage);
}

}  // namespace

Win32Error ServiceStore::Start(uint32_t processId, Handle service,
                               const std::vector<std::u16string>& args) {
  Lock lock(mutex_);
  const HandleRecord* record = nullptr;
  if (Win32Error e =
          Resolve(processId, service, HandleRecord::Kind::kService, kServiceStart, &record)) {
    return e;
  }
  const std::u16string name = record->serviceName;
  const auto entry = ReadServiceEntry(machine_.RegistryState(), name);
  if (!entry) return kErrorServiceDoesNotExist;
  Runtime& runtime = RuntimeOf(name);
  if (runtime.markedForDelete) return kErrorServiceMarkedForDelete;
  // A process that reported stopped may still be on its way out; a new start waits
  // for it rather than failing.
  changed_.wait_for(lock, kStartTimeout, [&] {
    return runtime.status.currentState != kServiceStopped || runtime.processId == 0;
  });
  if (runtime.status.currentState != kServiceStopped || runtime.processId != 0) {
    return kErrorServiceAlreadyRunning;
  }
  if (entry->IsDriver()) return StartDriver(*entry);
  return LaunchProcess(lock, *entry, args);
}

// Called with the lock held; the minifilter takes only its own lock.
Win32Error ServiceStore::StartDriver(const ServiceEntry& entry) {
  if (IsMinifilter(entry)) {
    if (!machine_.Config().minifilterPresent) return kErrorFileNotFound;
    machine_.Filter().Start();
  }
  RuntimeOf(entry.name).status = {entry.type, kServiceRunning, kServiceAcceptStop};
  changed_.notify_all();
  return kErrorSuccess;
}

Win32Error ServiceStore::StopDriver(const ServiceEntry& entry, ServiceStatus* status) {
  Runtime& runtime = RuntimeOf(entry.name);
  if (runtime.status.currentState != kServiceRunning) return kErrorServiceNotActive;
  if (IsMinifilter(entry)) machine_.Filter().Stop();
  runtime.status = {entry.type, kServiceStopped};
  if (status != nullptr) *status = runtime.status;
  changed_.notify_all();
  return kErrorSuccess;
}

// The manager's own process on Windows is services.exe; a machine image that runs one
// gets it as the parent of every service process, else the System process stands in.
uint32_t ServiceStore::LauncherProcessId() const {
  for (const ProcessRecord& process : machine_.ProcessTable().All()) {
    if (RegistryNamesEqual(ImageFileName(process.imagePath), u"services.exe")) {
      return process.processId;
    }
  }
  return ProcessList::kSystemProcessId;
}

Win32Error ServiceStore::LaunchProcess(Lock& lock, const ServiceEntry& entry,
                                       const std::vector<std::u16string>& args) {
  Environment& environment = machine_.Process(ProcessList::kSystemProcessId).Environment();
  const auto expand = [&](std::u16string_view text) {
    std::u16string expanded;
    uint32_t required = 0;
    environment.ExpandEnvironmentStrings(text, 32768, &expanded, &required);
    return expanded;
  };
  const auto isProgram = [&](std::u16string_view path) {
    return machine_.Programs().Find(path).has_value();
  };
  ServiceImage image = ParseServiceImage(entry.imagePath, expand, isProgram);
  const std::optional<ProgramEntry> program = machine_.Programs().Find(image.program);
  if (!program) return kErrorFileNotFound;
  image.arguments.insert(image.arguments.end(), args.begin(), args.end());

  const uint32_t launcher = LauncherProcessId();
  ProcessLaunch launch{{launcher, 0}, image.program, u"S-1-5-18", launcher, std::nullopt,
                       expand(u"%SystemRoot%\\system32"), entry.name};
  const uint32_t processId = StartProcess(machine_, launch);
  if (processId == 0) return kErrorNotEnoughMemory;
  Runtime& runtime = RuntimeOf(entry.name);
  runtime.status = {entry.type, kServiceStartPending};
  runtime.processId = processId;
  runtime.dispatcherConnected = false;
  runtime.mainEnded = false;
  const std::u16string name = entry.name;
  programs_.emplace_back([this, name, processId, program = *program, args = image.arguments] {
    program(machine_.Process(processId), args);
    ProcessEnded(name, processId);
  });
  const bool connected = changed_.wait_for(lock, kStartTimeout, [&] {
    return runtime.dispatcherConnected || runtime.processId != processId;
  });
  return connected && runtime.dispatcherConnected ? kErrorSuccess : kErrorServiceRequestTimeout;
}

// The process's handles go with it, as Windows closes them at exit.
void ServiceStore::ProcessEnded(const std::u16string& name, uint32_t processId) {
  ExitProcess(machine_, processId);
  Lock lock(mutex_);
  for (const HandleRecord& record : handles_.CloseAll(processId)) {
    if (record.kind == HandleRecord::Kind::kService) --RuntimeOf(record.serviceName).openHandles;
  }
  Runtime& runtime = RuntimeOf(name);
  runtime.processId = 0;
  runtime.dispatcherConnected = false;
  runtime.handler = nullptr;
  runtime.controls.clear();
  if (runtime.status.currentState != kServiceStopped) {
    runtime.status = {runtime.status.serviceType, kServiceStopped, 0, kErrorProcessAborted};
  }
  changed_.notify_all();
  RemoveIfDeleted(name);
}

}  // namespace Emulated
