#pragma once
// The machine's service control manager: handles, the run state of every service,
// the service processes it starts and the controls it delivers. Configuration lives
// in the registry (service_registry.h); this holds only what Windows keeps in the
// manager's memory.
//
// Behaviour worth knowing:
// - Handles belong to the process that opened them and carry the rights granted at
//   open; every call checks the right it needs. Any process is granted what it
//   asks for: accounts and their privileges are not modelled.
// - StartService of a process service looks its image up in the machine's program
//   table, starts a process owned by S-1-5-18 with the service's name, runs the
//   program on a host thread of its own and returns once that process has connected
//   its dispatcher (kErrorServiceRequestTimeout when it does not within
//   kStartTimeout or ends first). Ending the program ends the process; a service
//   that had not reported stopped by then is stopped with exit code 1067.
// - Driver services have no process. The driver whose image file is
//   "BrumevaleLookout.sys" is the emulated minifilter: starting it starts the
//   minifilter, the stop control stops it; on a machine configured without it
//   (MachineConfig::minifilterPresent) the start fails with kErrorFileNotFound and
//   the driver stays stopped. Other drivers only change state.
// - DeleteService marks the entry (DeleteFlag); the key goes when the service is
//   stopped and its last handle is closed, as on Windows. Until then it can be
//   opened but neither started nor created again (kErrorServiceMarkedForDelete).
// - Controls reach the service's handler on its dispatcher thread; ControlService
//   waits until the handler has returned and answers the status at that moment.
//   The shutdown and pre-shutdown controls cannot be sent that way (as on Windows,
//   kErrorInvalidParameter); ShutDown plays the machine's shutdown instead, and the
//   pre-shutdown control reaches only a handler registered in the extended form.
//
// Threads: every operation may be called from any thread. The store's lock is never
// held while a service's code (main, handler, program) runs.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/emulated/machine/owned_handles.h"
#include "platform/emulated/registry/registry_key.h"
#include "platform/emulated/services/service_registry.h"
#include "platform/service_manager.h"

namespace Emulated {

class Machine;

class ServiceStore {
 public:
  static constexpr std::chrono::seconds kStartTimeout{30};
  static constexpr std::chrono::seconds kControlTimeout{30};

  explicit ServiceStore(Machine& machine);
  // Asks every running process service to stop, then waits for their programs.
  ~ServiceStore();
  ServiceStore(const ServiceStore&) = delete;
  ServiceStore& operator=(const ServiceStore&) = delete;

  // The manager's calls, made by processId.
  using Handle = Platform::Handle;
  using Win32Error = Platform::Win32Error;
  Win32Error OpenManager(uint32_t processId, uint32_t access, Handle* manager);
  Win32Error Create(uint32_t processId, Handle manager, const Platform::ServiceConfig& config,
                    Handle* service);
  Win32Error Open(uint32_t processId, Handle manager, std::u16string_view name, uint32_t access,
                  Handle* service);
  Win32Error Start(uint32_t processId, Handle service, const std::vector<std::u16string>& args);
  Win32Error Control(uint32_t processId, Handle service, uint32_t control,
                     Platform::ServiceStatus* status);
  Win32Error Delete(uint32_t processId, Handle service);
  Win32Error Close(uint32_t processId, Handle handle);
  Win32Error RunDispatcher(uint32_t processId, const std::vector<Platform::ServiceTableEntry>& table);
  // extended: registered through RegisterServiceCtrlHandlerEx.
  Win32Error RegisterHandler(uint32_t processId, std::u16string_view name,
                             Platform::ServiceControlExFunction handler, bool extended,
                             Handle* statusHandle);
  Win32Error SetStatus(uint32_t processId, Handle statusHandle, const Platform::ServiceStatus& status);

  // For the simulator and tests.
  // The current status; a service never started is stopped.
  Platform::ServiceStatus Status(std::u16string_view name);
  // Every status the service reported through SetServiceStatus, oldest first.
  std::vector<Platform::ServiceStatus> StatusHistory(std::u16string_view name);
  // Waits until the service is in state; for the stopped state of a process service
  // also until its process has ended. False on time-out.
  bool WaitForState(std::u16string_view name, uint32_t state, std::chrono::milliseconds timeout);
  // The process of a running process service, or 0.
  uint32_t ServiceProcessId(std::u16string_view name);
  // The machine shuts down: every running service that accepts the pre-shutdown
  // control (and can receive it) gets it, and the manager waits up to
  // preshutdownWait for those to stop; then every service still running that
  // accepts the shutdown control gets that. Returns without waiting for the second.
  void ShutDown(std::chrono::milliseconds preshutdownWait);

 private:
  // What the manager knows about one service besides its registry entry.
  struct Runtime {
    Platform::ServiceStatus status{0, 1};  // stopped until started
    std::vector<Platform::ServiceStatus> history;
    uint32_t processId = 0;         // the service's process while it lives
    bool dispatcherConnected = false;
    bool mainEnded = false;
    Platform::ServiceControlExFunction handler;
    bool extendedHandler = false;
    std::deque<uint32_t> controls;  // waiting for the dispatcher thread
    uint64_t controlsQueued = 0;
    uint64_t controlsDone = 0;
    bool markedForDelete = false;
    uint32_t openHandles = 0;
  };
  struct HandleRecord {
    enum class Kind { kManager, kService, kStatus } kind = Kind::kManager;
    uint32_t granted = 0;
    std::u16string serviceName;
  };
  using Lock = std::unique_lock<std::mutex>;

  Runtime& RuntimeOf(std::u16string_view name);
  Win32Error Resolve(uint32_t processId, Handle handle, HandleRecord::Kind kind,
                     uint32_t needed, const HandleRecord** record) const;
  Handle AddHandle(uint32_t processId, HandleRecord record);
  void RemoveIfDeleted(const std::u16string& name);
  bool ReachedLocked(const std::u16string& name, uint32_t state);

  Win32Error StartDriver(const ServiceEntry& entry);
  Win32Error StopDriver(const ServiceEntry& entry, Platform::ServiceStatus* status);
  Win32Error LaunchProcess(Lock& lock, const ServiceEntry& entry,
                           const std::vector<std::u16string>& args);
  void ProcessEnded(const std::u16string& name, uint32_t processId);
  Win32Error DeliverControl(Lock& lock, Runtime& runtime, uint32_t control,
                            Platform::ServiceStatus* status);
  void ServeControls(Lock& lock, Runtime& runtime);
  // Whether the manager may hand control to the service's handler now.
  static bool Reachable(const Runtime& runtime, uint32_t control);
  void QueueControl(Runtime& runtime, uint32_t control);
  uint32_t LauncherProcessId() const;

  Machine& machine_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::u16string, std::unique_ptr<Runtime>, RegistryNameLess> services_;
  OwnedHandles<HandleRecord> handles_{0x5C000};
  // One host thread per started service process, joined when the machine goes.
  std::vector<std::thread> programs_;
};

}  // namespace Emulated
