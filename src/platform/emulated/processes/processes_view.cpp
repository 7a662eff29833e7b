#include "platform/emulated/processes/processes_view.h"

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/processes/process_image.h"

namespace Emulated {

using namespace Platform;

Win32Error ProcessesView::SnapshotProcesses(std::vector<ProcessSnapshotEntry>* entries) {
  if (entries == nullptr) return kErrorInvalidParameter;
  std::vector<ProcessSnapshotEntry> snapshot;
  for (const ProcessRecord& record : machine_.ProcessTable().All()) {
    snapshot.push_back({record.processId, record.parentProcessId, SnapshotExeName(record)});
  }
  *entries = std::move(snapshot);
  return kErrorSuccess;
}

namespace {

// What a protected process grants to anyone.
constexpr uint32_t kProtectedProcessRights =
    kProcessQueryLimitedInformation | kSynchronize | kProcessTerminate | kProcessSuspendResume;

// The capacity rule of the image queries: a name of N characters needs N + 1.
Win32Error DeliverImage(const std::u16string& name, uint32_t capacity, std::u16string* image) {
  if (name.size() + 1 > capacity) return kErrorInsufficientBuffer;
  *image = name;
  return kErrorSuccess;
}

}  // namespace

// Windows refuses the idle process (pid 0) outright with ERROR_INVALID_PARAMETER, the
// same answer as for an id that names no process. The System process (4) opens.
Win32Error ProcessesView::OpenProcess(uint32_t processId, uint32_t access, Handle* process) {
  if (process == nullptr) return kErrorInvalidParameter;
  if (processId == ProcessList::kIdleProcessId) return kErrorInvalidParameter;
  const std::optional<ProcessRecord> record = machine_.ProcessTable().Find(processId);
  if (!record) return kErrorInvalidParameter;
  if (record->protectedProcess && (access & ~kProtectedProcessRights) != 0) return kErrorAccessDenied;
  *process = machine_.ProcessTable().Handles().Open(
      context_.processId, {record->processId, record->imagePath, record->ownerSid, record->protectedProcess});
  return kErrorSuccess;
}

Win32Error ProcessesView::CloseProcess(Handle process) {
  return machine_.ProcessTable().Handles().Close(context_.processId, process) ? kErrorSuccess
                                                                               : kErrorInvalidHandle;
}

Win32Error ProcessesView::GetProcessImageFileName(Handle process, uint32_t capacity,
                                                  std::u16string* image) {
  if (image == nullptr) return kErrorInvalidParameter;
  const auto target = machine_.ProcessTable().Handles().Find(context_.processId, process);
  if (!target) return kErrorInvalidHandle;
  const std::optional<std::u16string> device =
      ImageDeviceName(machine_.Config(), target->imagePath);
  // An image on a drive the machine does not map has no device to be named by.
  if (!device) return kErrorPathNotFound;
  return DeliverImage(*device, capacity, image);
}

Win32Error ProcessesView::QueryFullProcessImageName(Handle process, uint32_t flags, uint32_t capacity,
                                                    std::u16string* image) {
  if (image == nullptr || (flags & ~kProcessNameNative) != 0) return kErrorInvalidParameter;
  const auto target = machine_.ProcessTable().Handles().Find(context_.processId, process);
  if (!target) return kErrorInvalidHandle;
  // The System process has no image file: Windows fails the query for it.
  if (target->imagePath.empty()) return kErrorInvalidParameter;
  if ((flags & kProcessNameNative) == 0) return DeliverImage(target->imagePath, capacity, image);
  const std::optional<std::u16string> device = ImageDeviceName(machine_.Config(), target->imagePath);
  if (!device) return kErrorPathNotFound;
  return DeliverImage(*device, capacity, image);
}

Win32Error ProcessesView::GetProcessOwnerSid(Handle process, std::u16string* sid) {
  if (sid == nullptr) return kErrorInvalidParameter;
  const auto target = machine_.ProcessTable().Handles().Find(context_.processId, process);
  if (!target) return kErrorInvalidHandle;
  // Reading the owner takes READ_CONTROL on the process, which a protected one refuses.
  if (target->protectedProcess) return kErrorAccessDenied;
  *sid = target->ownerSid;
  return kErrorSuccess;
}

Win32Error ProcessesView::LookupAccountSid(std::u16string_view sid, std::u16string* name,
                                           std::u16string* domain) {
  if (name == nullptr || domain == nullptr) return kErrorInvalidParameter;
  const std::optional<AccountRecord> account = machine_.ProcessTable().FindAccount(sid);
  if (!account) return kErrorNoneMapped;
  *name = account->name;
  *domain = account->domain;
  return kErrorSuccess;
}

uint32_t ProcessesView::GetCurrentProcessId() { return context_.processId; }

uint32_t ProcessesView::GetCurrentThreadId() {
  return context_.threadId != 0 ? context_.threadId : machine_.CurrentThreadId(context_.processId);
}

}  // namespace Emulated
