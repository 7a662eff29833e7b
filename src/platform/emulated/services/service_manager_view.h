#pragma once
// The service control manager as one process of the emulated machine sees it: every
// call goes to the machine's ServiceStore on behalf of this process.

#include "platform/emulated/machine/view_context.h"
#include "platform/service_manager.h"

namespace Emulated {

class Machine;

class ServiceManagerView : public Platform::ServiceManager {
 public:
  ServiceManagerView(Machine& machine, ViewContext context) : machine_(machine), context_(context) {}

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
  Machine& machine_;
  ViewContext context_;
};

}  // namespace Emulated
