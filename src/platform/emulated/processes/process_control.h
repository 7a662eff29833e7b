#pragma once
// Starting and ending processes and threads of the emulated machine, for the
// simulator, the service control manager and tests. Each change is reported to the
// minifilter as the kernel's notifications would report it.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/emulated/machine/activity_sink.h"
#include "platform/win32_types.h"

namespace Emulated {

class Machine;

struct ProcessLaunch {
  Actor creator;                 // the process and thread that create it
  std::u16string imagePath;      // drive-letter form: C:\Windows\explorer.exe
  std::u16string ownerSid;
  std::optional<uint32_t> parentProcessId;  // the creator's process unless given
  std::optional<uint32_t> processId;        // a fixed id, as machine images name theirs
  std::u16string currentDirectory;
  std::u16string serviceName;    // set by the service control manager
  bool protectedProcess = false;  // started as a protected process
};

// The new process's id, or 0 when the fixed id is held by a live process or thread.
// The process starts without threads: a host thread acting through the process's
// view gets its thread id on first use, and CreateThread adds reported ones.
uint32_t StartProcess(Machine& machine, const ProcessLaunch& launch);

// Ends the process: the files it holds are closed, every thread it still has ends,
// then the process, each reported in the dying process's own context as the kernel
// does. False for an unknown process and for processes 0 and 4, which live as long as
// the machine.
bool ExitProcess(Machine& machine, uint32_t processId);

// Opens path for reading in holder's name with the given share mode (0 or
// FILE_SHARE_READ) and keeps it open until the process exits, as a program that holds
// a file does: others then open it only as that share mode admits. The CreateFile
// error when it cannot be opened.
Platform::Win32Error HoldFile(Machine& machine, Actor holder, std::u16string_view path, uint32_t share);

// A new thread in processId, created by creator; its id, or 0 for an unknown process.
uint32_t CreateThread(Machine& machine, Actor creator, uint32_t processId);

// Ends a live thread, reported in its own context; false for an unknown thread.
bool ExitThread(Machine& machine, uint32_t threadId);

}  // namespace Emulated
