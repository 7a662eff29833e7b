#pragma once
// The service control manager: OpenSCManager, CreateService, OpenService,
// StartService, ControlService, DeleteService, CloseServiceHandle, and the service
// side: StartServiceCtrlDispatcher, RegisterServiceCtrlHandler, SetServiceStatus.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace Platform {

// SERVICE_STATUS.
struct ServiceStatus {
  uint32_t serviceType = 0;
  uint32_t currentState = 0;
  uint32_t controlsAccepted = 0;
  uint32_t win32ExitCode = 0;
  uint32_t serviceSpecificExitCode = 0;
  uint32_t checkPoint = 0;
  uint32_t waitHint = 0;
  friend bool operator==(const ServiceStatus&, const ServiceStatus&) = default;
};

// The arguments of CreateService that the system uses.
struct ServiceConfig {
  std::u16string serviceName;
  std::u16string displayName;
  uint32_t desiredAccess = 0;
  uint32_t serviceType = 0;
  uint32_t startType = 0;
  uint32_t errorControl = 0;
  std::u16string binaryPathName;
  std::u16string loadOrderGroup;  // empty: none
  std::u16string serviceStartName;  // empty: LocalSystem for services, none for drivers
};

using ServiceMainFunction = std::function<void(const std::vector<std::u16string>& arguments)>;
using ServiceControlFunction = std::function<void(uint32_t control)>;
// An extended handler answers kErrorSuccess, or kErrorCallNotImplemented for a
// control it does not handle.
using ServiceControlExFunction = std::function<Win32Error(uint32_t control)>;

struct ServiceTableEntry {
  std::u16string serviceName;
  ServiceMainFunction serviceMain;
};

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;

  virtual Win32Error OpenSCManager(uint32_t access, Handle* manager) = 0;
  virtual Win32Error CreateService(Handle manager, const ServiceConfig& config,
                                   Handle* service) = 0;
  virtual Win32Error OpenService(Handle manager, std::u16string_view serviceName,
                                 uint32_t access, Handle* service) = 0;
  virtual Win32Error StartService(Handle service,
                                  const std::vector<std::u16string>& arguments) = 0;
  virtual Win32Error ControlService(Handle service, uint32_t control, ServiceStatus* status) = 0;
  virtual Win32Error DeleteService(Handle service) = 0;
  virtual Win32Error CloseServiceHandle(Handle handle) = 0;

  // Blocks until every service of the table has stopped. Outside a process that the
  // manager started as a service: kErrorFailedServiceControllerConnect (1063).
  virtual Win32Error StartServiceCtrlDispatcher(const std::vector<ServiceTableEntry>& table) = 0;
  // A plain handler never receives the pre-shutdown control, even when the service
  // accepts it: only an extended handler does.
  virtual Win32Error RegisterServiceCtrlHandler(std::u16string_view serviceName,
                                                ServiceControlFunction handler,
                                                Handle* statusHandle) = 0;
  virtual Win32Error RegisterServiceCtrlHandlerEx(std::u16string_view serviceName,
                                                  ServiceControlExFunction handler,
                                                  Handle* statusHandle) = 0;
  virtual Win32Error SetServiceStatus(Handle statusHandle, const ServiceStatus& status) = 0;
};

}  // namespace Platform
