#include "platform/win32/named_objects_win32.h"

#include <vector>

#include "platform/win32/win32_text.h"

namespace Win32 {
namespace {

using Platform::Win32Error;

// A create of a named object succeeds with ERROR_ALREADY_EXISTS as its last error
// when it opened an existing one.
Win32Error Created(HANDLE object, Platform::Handle* out, bool* alreadyExisted) {
  if (object == nullptr) return LastError();
  const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  *out = FromHandle(object);
  if (alreadyExisted != nullptr) *alreadyExisted = existed;
  return ERROR_SUCCESS;
}

}  // namespace

Win32Error NamedObjects::CreateEvent(bool manualReset, bool initialState,
                                     std::u16string_view name, Handle* event,
                                     bool* alreadyExisted) {
  const std::wstring wide = Wide(name);
  return Created(CreateEventW(nullptr, manualReset, initialState, WideOrNull(wide)), event,
                 alreadyExisted);
}

Win32Error NamedObjects::SetEvent(Handle event) {
  return ::SetEvent(ToHandle(event)) ? ERROR_SUCCESS : LastError();
}

Win32Error NamedObjects::ResetEvent(Handle event) {
  return ::ResetEvent(ToHandle(event)) ? ERROR_SUCCESS : LastError();
}

Win32Error NamedObjects::CreateMutex(bool initialOwner, std::u16string_view name, Handle* mutex,
                                     bool* alreadyExisted) {
  const std::wstring wide = Wide(name);
  return Created(CreateMutexW(nullptr, initialOwner, WideOrNull(wide)), mutex, alreadyExisted);
}

Win32Error NamedObjects::ReleaseMutex(Handle mutex) {
  return ::ReleaseMutex(ToHandle(mutex)) ? ERROR_SUCCESS : LastError();
}

uint32_t NamedObjects::WaitForSingleObject(Handle object, uint32_t milliseconds) {
  return ::WaitForSingleObject(ToHandle(object), milliseconds);
}

uint32_t NamedObjects::WaitForMultipleObjects(std::span<const Handle> objects, bool waitAll,
                                              uint32_t milliseconds) {
  std::vector<HANDLE> handles;
  for (Handle object : objects) handles.push_back(ToHandle(object));
  return ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), waitAll,
                                  milliseconds);
}

Win32Error NamedObjects::CloseHandle(Handle object) {
  return ::CloseHandle(ToHandle(object)) ? ERROR_SUCCESS : LastError();
}

}  // namespace Win32
