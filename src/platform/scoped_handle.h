#pragma once
// One owner per handle: a move-only holder that closes its handle through the
// interface that opened it. Moving into a holder closes what it held before. The
// closer's result, where it has one, is not looked at: a handle is closed once.

#include <utility>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/filter_port.h"
#include "platform/named_objects.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/service_manager.h"
#include "platform/trust.h"
#include "platform/win32_types.h"

namespace Platform {

template <typename Owner, auto Close>
class ScopedHandle {
 public:
  ScopedHandle() = default;
  ScopedHandle(Owner& owner, Handle handle) : owner_(&owner), handle_(handle) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept
      : owner_(other.owner_), handle_(std::exchange(other.handle_, 0)) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      owner_ = other.owner_;
      handle_ = std::exchange(other.handle_, 0);
    }
    return *this;
  }

  Handle Get() const { return handle_; }
  bool IsValid() const { return handle_ != 0; }
  explicit operator bool() const { return IsValid(); }

  // For an out-argument: closes what is held and hands out the slot to fill.
  Handle* Receive(Owner& owner) {
    Reset();
    owner_ = &owner;
    return &handle_;
  }
  Handle Release() { return std::exchange(handle_, 0); }
  void Reset() {
    if (handle_ != 0 && owner_ != nullptr) (owner_->*Close)(handle_);
    handle_ = 0;
  }

 private:
  Owner* owner_ = nullptr;
  Handle handle_ = 0;
};

using ScopedKey = ScopedHandle<Registry, &Registry::CloseKey>;
using ScopedFile = ScopedHandle<FileSystem, &FileSystem::CloseFile>;
using ScopedFind = ScopedHandle<FileSystem, &FileSystem::FindClose>;
using ScopedObject = ScopedHandle<NamedObjects, &NamedObjects::CloseHandle>;
using ScopedProcess = ScopedHandle<Processes, &Processes::CloseProcess>;
using ScopedService = ScopedHandle<ServiceManager, &ServiceManager::CloseServiceHandle>;
using ScopedPort = ScopedHandle<FilterPort, &FilterPort::ClosePort>;
using ScopedTrustLibrary = ScopedHandle<Trust, &Trust::FreeTrustLibrary>;
using ScopedCatalogContext = ScopedHandle<Trust, &Trust::ReleaseCatalogContext>;

}  // namespace Platform
