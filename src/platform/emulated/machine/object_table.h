#pragma once
// The kernel objects of the machine: events and mutexes, named or private.
//
// Handles are counted references: every create (also one that opens an existing
// named object) hands out a new handle, and closing the last handle of an object
// destroys it, so that its name becomes free again. Names are machine-wide and
// compare ignoring ASCII case; "Global\" is simply part of the name.
//
// A mutex belongs to the host thread that acquired it; waits block on the table's
// one condition variable (no polling), which every signal wakes, so that a wait for
// several objects sees each of them. Every call is safe from any thread.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "platform/win32_types.h"

namespace Emulated {

class Machine;

class ObjectTable {
 public:
  explicit ObjectTable(Machine& machine);
  ~ObjectTable();
  ObjectTable(const ObjectTable&) = delete;
  ObjectTable& operator=(const ObjectTable&) = delete;

  Platform::Win32Error CreateEvent(bool manualReset, bool initialState, std::u16string_view name,
                                   Platform::Handle* event, bool* alreadyExisted);
  Platform::Win32Error CreateMutex(bool initialOwner, std::u16string_view name,
                                   Platform::Handle* mutex, bool* alreadyExisted);
  // SetEvent on a handle of this table; the registry signals change notifications
  // through it.
  Platform::Win32Error SetEvent(Platform::Handle event);
  Platform::Win32Error ResetEvent(Platform::Handle event);
  Platform::Win32Error ReleaseMutex(Platform::Handle mutex);
  uint32_t WaitForSingleObject(Platform::Handle object, uint32_t milliseconds);
  uint32_t WaitForMultipleObjects(std::span<const Platform::Handle> objects, bool waitAll,
                                  uint32_t milliseconds);
  Platform::Win32Error CloseHandle(Platform::Handle object);

 private:
  enum class Kind { kEvent, kMutex };
  struct Object {
    Kind kind = Kind::kEvent;
    bool manualReset = false;
    bool signaled = false;                 // events
    std::thread::id owner;                 // mutexes: default id when free
    uint32_t recursion = 0;                // mutexes
    std::u16string foldedName;             // empty for private objects
    uint32_t handles = 0;
  };

  Platform::Win32Error Create(Kind kind, std::u16string_view name,
                              const std::shared_ptr<Object>& fresh, Platform::Handle* handle,
                              bool* alreadyExisted);
  Platform::Handle AddHandle(const std::shared_ptr<Object>& object);
  std::shared_ptr<Object> Find(Platform::Handle handle, Kind kind);
  // Whether the calling thread could take the object now; the lock is held.
  bool Ready(const Object& object) const;
  // Takes the object for the calling thread when it is signalled; the lock is held.
  bool TryAcquire(Object& object);
  // Waits until ready() holds or the time is out; the lock is held.
  template <typename ReadyNow>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, uint32_t milliseconds, ReadyNow ready);

  [[maybe_unused]] Machine& machine_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<Platform::Handle, std::shared_ptr<Object>> handles_;
  std::map<std::u16string, std::weak_ptr<Object>> names_;
  Platform::Handle nextHandle_ = 0x1000;
};

}  // namespace Emulated
