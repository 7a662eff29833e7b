#pragma once
// Platform::ServiceManager over advapi32's service control manager calls, and the
// service side of a process that the manager started.
//
// Threads: StartServiceCtrlDispatcher blocks the calling thread; the manager calls
// each service's main function on a thread of its own and the control handler on
// the dispatcher's thread. A process has one dispatcher, so the table it runs is
// kept for the process; handlers stay registered until this object goes.

#include <memory>
#include <mutex>

#include "platform/service_manager.h"

namespace Win32 {

class ServiceManager final : public Platform::ServiceManager {
 public:
  using Handle = Platform::Handle;
  using Win32Error = Platform::Win32Error;

  Win32Error OpenSCManager(uint32_t access, Handle* manager) override;
  Win32Error CreateService(Handle manager, const Platform::ServiceConfig& config,
                           Handle* service) override;
  Win32Error OpenService(Handle manager, std::u16string_view serviceName, uint32_t access,
                         Handle* service) override;
  Win32Error StartService(Handle service, const std::vector<std::u16string>& arguments) override;
  Win32Error ControlService(Handle service, uint32_t control,
                            Platform::ServiceStatus* status) override;
  Win32Error DeleteService(Handle service) override;
  Win32Error CloseServiceHandle(Handle handle) override;
  Win32Error StartServiceCtrlDispatcher(
      const std::vector<Platform::ServiceTableEntry>& table) override;
  Win32Error RegisterServiceCtrlHandler(std::u16string_view serviceName,
                                        Platform::ServiceControlFunction handler,
                                        Handle* statusHandle) override;
  Win32Error RegisterServiceCtrlHandlerEx(std::u16string_view serviceName,
                                          Platform::ServiceControlExFunction handler,
                                          Handle* statusHandle) override;
  Win32Error SetServiceStatus(Handle statusHandle, const Platform::ServiceStatus& status) override;

 private:
  std::mutex handlersMutex_;
  // Each handler's address is the context Windows hands back with every control. A
  // handler registered again replaces the earlier one for Windows, but the earlier
  // function is kept: a control already under way may still be calling it.
  std::vector<std::unique_ptr<Platform::ServiceControlExFunction>> handlers_;
};

}  // namespace Win32
