#include "platform/emulated/object_table.h"

#include <chrono>

#include "platform/emulated/file_path.h"
#include "platform/emulated/machine.h"

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
  // An auto-reset event lets exactly one waiter through; a manual one lets all.
  if (object->manualReset) {
    object->changed.notify_all();
  } else {
    object->changed.notify_one();
  }
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
    object->changed.notify_one();
  }
  return kErrorSuccess;
}

bool ObjectTable::TryAcquire(Object& object) {
  if (object.kind == Kind::kEvent) {
    if (!object.signaled) return false;
    if (!object.manualReset) object.signaled = false;
    return true;
  }
  const auto self = std::this_thread::get_id();
  if (object.recursion != 0 && object.owner != self) return false;
  object.owner = self;
  ++object.recursion;
  return true;
}

uint32_t ObjectTable::WaitForSingleObject(Handle handle, uint32_t milliseconds) {
  std::unique_lock lock(mutex_);
  auto it = handles_.find(handle);
  if (it == handles_.end()) return kWaitFailed;
  // The waiter keeps the object alive even if its handle is closed meanwhile.
  std::shared_ptr<Object> object = it->second;
  auto ready = [&] { return TryAcquire(*object); };
  if (milliseconds == kInfinite) {
    object->changed.wait(lock, ready);
    return kWaitObject0;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  return object->changed.wait_until(lock, deadline, ready) ? kWaitObject0 : kWaitTimeout;
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
