#include "platform/emulated/processes/process_control.h"

#include "platform/emulated/files/file_store.h"
#include "platform/emulated/machine/machine.h"

namespace Emulated {

uint32_t StartProcess(Machine& machine, const ProcessLaunch& launch) {
  ProcessList& processes = machine.ProcessTable();
  ProcessRecord record;
  record.parentProcessId = launch.parentProcessId.value_or(launch.creator.processId);
  record.imagePath = launch.imagePath;
  record.ownerSid = launch.ownerSid;
  record.currentDirectory = launch.currentDirectory;
  record.serviceName = launch.serviceName;
  record.protectedProcess = launch.protectedProcess;
  record.processId = launch.processId.value_or(0);
  if (launch.processId) {
    if (!processes.AddIfFree(record)) return 0;
  } else {
    // A fresh id cannot be taken by anyone else before the record lands: ids only
    // ever move forward.
    record.processId = processes.NewProcessId();
    processes.Add(record);
  }
  machine.Activity().ProcessStarted(launch.creator, record.processId);
  return record.processId;
}

bool ExitProcess(Machine& machine, uint32_t processId) {
  if (processId == ProcessList::kIdleProcessId || processId == ProcessList::kSystemProcessId) {
    return false;
  }
  ProcessList& processes = machine.ProcessTable();
  const std::optional<ProcessRecord> record = processes.Find(processId);
  if (!record) return false;
  uint32_t lastThread = record->threads.empty() ? 0 : *record->threads.rbegin();
  for (Platform::Handle file : record->heldFiles) machine.FileState().CloseFile({processId, lastThread}, file);
  for (uint32_t thread : record->threads) {
    machine.Activity().ThreadExited({processId, thread}, thread);
    lastThread = thread;
  }
  machine.Activity().ProcessExited({processId, lastThread}, processId);
  return processes.Remove(processId);
}

Platform::Win32Error HoldFile(Machine& machine, Actor holder, std::u16string_view path, uint32_t share) {
  if (!machine.ProcessTable().Find(holder.processId)) return Platform::kErrorInvalidParameter;
  Platform::FileSystem& files = machine.Process(holder.processId, holder.threadId).Files();
  Platform::Handle file = 0;
  const Platform::Win32Error rc =
      files.CreateFile(path, Platform::kGenericRead, share, Platform::kOpenExisting, Platform::kFileAttributeNormal, &file);
  if (rc != Platform::kErrorSuccess) return rc;
  if (!machine.ProcessTable().AddHeldFile(holder.processId, file)) files.CloseFile(file);
  return Platform::kErrorSuccess;
}

uint32_t CreateThread(Machine& machine, Actor creator, uint32_t processId) {
  ProcessList& processes = machine.ProcessTable();
  if (!processes.Find(processId)) return 0;
  const uint32_t threadId = processes.NewThreadId();
  processes.AddThread(processId, threadId);
  machine.Activity().ThreadCreated(creator, threadId);
  return threadId;
}

bool ExitThread(Machine& machine, uint32_t threadId) {
  ProcessList& processes = machine.ProcessTable();
  const std::optional<uint32_t> owner = processes.FindThreadOwner(threadId);
  if (!owner) return false;
  machine.Activity().ThreadExited({*owner, threadId}, threadId);
  processes.RemoveThread(*owner, threadId);
  return true;
}

}  // namespace Emulated
