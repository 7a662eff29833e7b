#include "platform/emulated/processes_view.h"

#include "platform/emulated/machine.h"

namespace Emulated {

using namespace Platform;

Win32Error ProcessesView::SnapshotProcesses(std::vector<ProcessSnapshotEntry>* entries) { return Platform::kErrorNotSupported; }

Win32Error ProcessesView::OpenProcess(uint32_t processId, uint32_t access, Handle* process) { return Platform::kErrorNotSupported; }

Win32Error ProcessesView::CloseProcess(Handle process) { return Platform::kErrorNotSupported; }

Win32Error ProcessesView::GetProcessImageFileName(Handle process, uint32_t capacity, std::u16string* image) { return Platform::kErrorNotSupported; }

Win32Error ProcessesView::GetProcessOwnerSid(Handle process, std::u16string* sid) { return Platform::kErrorNotSupported; }

Win32Error ProcessesView::LookupAccountSid(std::u16string_view sid, std::u16string* name, std::u16string* domain) { return Platform::kErrorNotSupported; }

uint32_t ProcessesView::GetCurrentProcessId() { return 0; }

uint32_t ProcessesView::GetCurrentThreadId() { return 0; }

}  // namespace Emulated
