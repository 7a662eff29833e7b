#include "platform/emulated/named_objects_view.h"

#include "platform/emulated/machine.h"

namespace Emulated {

using namespace Platform;

Win32Error NamedObjectsView::CreateEvent(bool manualReset, bool initialState, std::u16string_view name, Handle* event, bool* alreadyExisted) { return Platform::kErrorNotSupported; }

Win32Error NamedObjectsView::SetEvent(Handle event) { return Platform::kErrorNotSupported; }

Win32Error NamedObjectsView::ResetEvent(Handle event) { return Platform::kErrorNotSupported; }

Win32Error NamedObjectsView::CreateMutex(bool initialOwner, std::u16string_view name, Handle* mutex, bool* alreadyExisted) { return Platform::kErrorNotSupported; }

Win32Error NamedObjectsView::ReleaseMutex(Handle mutex) { return Platform::kErrorNotSupported; }

uint32_t NamedObjectsView::WaitForSingleObject(Handle object, uint32_t milliseconds) { return 0; }

Win32Error NamedObjectsView::CloseHandle(Handle object) { return Platform::kErrorNotSupported; }

}  // namespace Emulated
