#pragma once
// Kernel events and mutexes: CreateEvent, SetEvent, ResetEvent, CreateMutex,
// ReleaseMutex, WaitForSingleObject, WaitForMultipleObjects, CloseHandle. A name
// makes the object machine-wide ("Global\..."): a second create of the same name
// opens the same object and reports alreadyExisted. An empty name gives a private object.
// A mutex belongs to the thread that acquired it and may be acquired again by that
// thread (each acquisition needs its release).

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/win32_types.h"

namespace Platform {

class NamedObjects {
 public:
  virtual ~NamedObjects() = default;

  virtual Win32Error CreateEvent(bool manualReset, bool initialState, std::u16string_view name,
                                 Handle* event, bool* alreadyExisted) = 0;
  virtual Win32Error SetEvent(Handle event) = 0;
  virtual Win32Error ResetEvent(Handle event) = 0;
  // CreateMutex. initialOwner: the calling thread owns it at once (only when the
  // mutex was created by this call, as on Windows).
  virtual Win32Error CreateMutex(bool initialOwner, std::u16string_view name, Handle* mutex,
                                 bool* alreadyExisted) = 0;
  // kErrorNotOwner when the calling thread does not own the mutex.
  virtual Win32Error ReleaseMutex(Handle mutex) = 0;
  // kWaitObject0, kWaitTimeout, kWaitAbandoned or kWaitFailed.
  virtual uint32_t WaitForSingleObject(Handle object, uint32_t milliseconds) = 0;
  // WaitForMultipleObjects: kWaitObject0 + the index of the object that ended the
  // wait (the lowest signalled one when several are; with waitAll, once every object
  // is signalled, all taken at once), or kWaitTimeout. kWaitFailed for no handles,
  // more than kMaximumWaitObjects (Windows: ERROR_INVALID_PARAMETER) or a handle that
  // is not an object of this kind (ERROR_INVALID_HANDLE).
  virtual uint32_t WaitForMultipleObjects(std::span<const Handle> objects, bool waitAll,
                                          uint32_t milliseconds) = 0;
  virtual Win32Error CloseHandle(Handle object) = 0;
};

}  // namespace Platform
