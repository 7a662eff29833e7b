#include "platform/emulated/machine/object_table.h"

#include <chrono>
#include <vector>

#include "platform/emulated/files/file_path.h"
#include "platform/emulated/machine/machine.h"

namespace Emulated {

using namespace Platform;

ObjectTable::ObjectTable(Machine& machine) : machine_(machine) {}
ObjectTable::~ObjectTable() = default;

Win32Error ObjectTable::CreateEvent(bool manualReset, bool initialState, std::u16string_view name,
                                    Handle* event, bool* alreadyExisted) {
  auto fresh = std::make_shared<Object>();
  fresh->kind = Kind::kEvent;
  fresh->manualReset = manualReset;
  fresh->signaled = initialState;
  return Create(Kind::kEvent, name, fresh, event, alreadyExisted);
}

Win32Error ObjectTable::CreateMutex(bool initialOwner, std::u16string_view name, Handle* mutex,
                                    bool* alreadyExisted) {
  auto fresh = std::make_shared<Object>();
  fresh->kind = Kind::kMutex;
  if (initialOwner) {
    fresh->owner = std::this_thread::get_id();
    fresh->recursion = 1;
  }
  return Create(Kind::kMutex, name, fresh, mutex, alreadyExisted);
}

// A second create of a name opens the existing object and ignores the new initial
// state, as Windows does; a name taken by an object of the other kind is
// ERROR_INVALID_HANDLE there too.
Win32Error ObjectTable::Create(Kind kind, std::u16string_view name,
                               const std::shared_ptr<Object>& fresh, Handle* handle,
                               bool* alreadyExisted) {
  if (handle == nullptr) return kErrorInvalidParameter;
  std::lock_guard lock(mutex_);
  bool existed = false;
  std::shared_ptr<Object> object = fresh;
  if (!name.empty()) {
    const std::u16string folded = FoldAscii(name);
    auto it = names_.find(folded);
    if (it != names_.end()) {
      if (auto existing = it->second.lock()) {
        if (existing->kind != kind) return kErrorInvalidHandle;
        object = existing;
        existed = true;
      }
    }
    if (!existed) {
      fresh->foldedName = folded;
      names_[folded] = fresh;
    }
  }
  *handle = AddHandle(object);
  if (alreadyExisted != nullptr) *alreadyExisted = existed;
  return kErrorSuccess;
}

Handle ObjectTable::AddHandle(const std::shared_ptr<Object>& object) {
  const Handle handle = nextHandle_;
  nextHandle_ += 4;
  handles_[handle] = object;
  ++object->handles;
  return handle;
}

std::shared_ptr<ObjectTable::Object> ObjectTable::Find(Handle handle, Kind kind) {
  auto it = handles_.find(handle);
  if (it == handles_.end() || it->second->kind != kind) return nullptr;
  return it->second;
}

Win32Error ObjectTable::SetEvent(Handle event) {
  std::lock_guard lock(mutex_);
  auto object = Find(event, Kind::kEvent);
  if (!object) return kErrorInvalidHandle;
  object->signaled = true;
  // Every waiter looks again; an auto-reset event still lets only the first through.
  changed_.notify_all();
  return kErrorSuccess;
}

Win32Error ObjectTable::ResetEvent(Handle event) {
  std::lock_guard lock(mutex_);
  auto object = Find(event, Kind::kEvent);
  if (!object) return kErrorInvalidHandle;
  object->signaled = false;
  return kErrorSuccess;
}

Win32Error ObjectTable::ReleaseMutex(Handle mutex) {
  std::lock_guard lock(mutex_);
  auto object = Find(mutex, Kind::kMutex);
  if (!object) return kErrorInvalidHandle;
  if (object->recursion == 0 || object->owner != std::this_thread::get_id()) {
    return kErrorNotOwner;
  }
  if (--object->recursion == 0) {
    object->owner = std::thread::id();
    changed_.notify_all();
  }
  return kErrorSuccess;
}

bool ObjectTable::Ready(const Object& object) const {
  if (object.kind == Kind::kEvent) return object.signaled;
  return object.recursion == 0 || object.owner == std::this_thread::get_id();
}

bool ObjectTable::TryAcquire(Object& object) {
  if (!Ready(object)) return false;
  if (object.kind == Kind::kEvent) {
    if (!object.manualReset) object.signaled = false;
    return true;
  }
  object.owner = std::this_thread::get_id();
  ++object.recursion;
  return true;
}

template <typename ReadyNow>
bool ObjectTable::WaitUntil(std::unique_lock<std::mutex>& lock, uint32_t milliseconds,
                            ReadyNow ready) {
  if (milliseconds == kInfinite) {
    changed_.wait(lock, ready);
    return true;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  return changed_.wait_until(lock, deadline, ready);
}

uint32_t ObjectTable::WaitForSingleObject(Handle handle, uint32_t milliseconds) {
  std::unique_lock lock(mutex_);
  auto it = handles_.find(handle);
  if (it == handles_.end()) return kWaitFailed;
  // The waiter keeps the object alive even if its handle is closed meanwhile.
  std::shared_ptr<Object> object = it->second;
  return WaitUntil(lock, milliseconds, [&] { return TryAcquire(*object); }) ? kWaitObject0
                                                                             : kWaitTimeout;
}

// With waitAll nothing is taken until every object can be, so that a wait that
// times out leaves auto-reset events and mutexes as they were.
uint32_t ObjectTable::WaitForMultipleObjects(std::span<const Handle> handles, bool waitAll,
                                             uint32_t milliseconds) {
  if (handles.empty() || handles.size() > kMaximumWaitObjects) return kWaitFailed;
  std::unique_lock lock(mutex_);
  std::vector<std::shared_ptr<Object>> objects;
  for (Handle handle : handles) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return kWaitFailed;
    objects.push_back(it->second);
  }
  size_t index = 0;
  auto anyReady = [&] {
    for (index = 0; index < objects.size(); ++index) {
      if (TryAcquire(*objects[index])) return true;
    }
    return false;
  };
  auto allReady = [&] {
    for (const auto& object : objects) {
      if (!Ready(*object)) return false;
    }
    for (const auto& object : objects) TryAcquire(*object);
    index = 0;
    return true;
  };
  const bool done = waitAll ? WaitUntil(lock, milliseconds, allReady)
                            : WaitUntil(lock, milliseconds, anyReady);
  return done ? kWaitObject0 + static_cast<uint32_t>(index) : kWaitTimeout;
}

Win32Error ObjectTable::CloseHandle(Handle handle) {
  std::lock_guard lock(mutex_);
  auto it = handles_.find(handle);
  if (it == handles_.end()) return kErrorInvalidHandle;
  std::shared_ptr<Object> object = std::move(it->second);
  handles_.erase(it);
  if (--object->handles == 0 && !object->foldedName.empty()) {
    names_.erase(object->foldedName);
  }
  return kErrorSuccess;
}

}  // namespace Emulated
