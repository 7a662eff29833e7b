#include "platform/emulated/processes/named_objects_view.h"

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/machine/object_table.h"

namespace Emulated {

Win32Error NamedObjectsView::CreateEvent(bool manualReset, bool initialState,
                                         std::u16string_view name, Handle* event,
                                         bool* alreadyExisted) {
  return machine_.ObjectState().CreateEvent(manualReset, initialState, name, event,
                                            alreadyExisted);
}

Win32Error NamedObjectsView::SetEvent(Handle event) {
  return machine_.ObjectState().SetEvent(event);
}

Win32Error NamedObjectsView::ResetEvent(Handle event) {
  return machine_.ObjectState().ResetEvent(event);
}

Win32Error NamedObjectsView::CreateMutex(bool initialOwner, std::u16string_view name,
                                         Handle* mutex, bool* alreadyExisted) {
  return machine_.ObjectState().CreateMutex(initialOwner, name, mutex, alreadyExisted);
}

Win32Error NamedObjectsView::ReleaseMutex(Handle mutex) {
  return machine_.ObjectState().ReleaseMutex(mutex);
}

uint32_t NamedObjectsView::WaitForSingleObject(Handle object, uint32_t milliseconds) {
  return machine_.ObjectState().WaitForSingleObject(object, milliseconds);
}

uint32_t NamedObjectsView::WaitForMultipleObjects(std::span<const Handle> objects, bool waitAll,
                                                  uint32_t milliseconds) {
  return machine_.ObjectState().WaitForMultipleObjects(objects, waitAll, milliseconds);
}

Win32Error NamedObjectsView::CloseHandle(Handle object) {
  return machine_.ObjectState().CloseHandle(object);
}

}  // namespace Emulated
