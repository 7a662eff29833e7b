#include "platform/emulated/services/service_manager_view.h"

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/services/service_store.h"

namespace Emulated {

using namespace Platform;

Win32Error ServiceManagerView::OpenSCManager(uint32_t access, Handle* manager) {
  return machine_.Services().OpenManager(context_.processId, access, manager);
}

Win32Error ServiceManagerView::CreateService(Handle manager, const ServiceConfig& config,
                                             Handle* service) {
  return machine_.Services().Create(context_.processId, manager, config, service);
}

Win32Error ServiceManagerView::OpenService(Handle manager, std::u16string_view serviceName,
                                           uint32_t access, Handle* service) {
  return machine_.Services().Open(context_.processId, manager, serviceName, access, service);
}

Win32Error ServiceManagerView::StartService(Handle service,
                                            const std::vector<std::u16string>& arguments) {
  return machine_.Services().Start(context_.processId, service, arguments);
}

Win32Error ServiceManagerView::ControlService(Handle service, uint32_t control,
                                              ServiceStatus* status) {
  return machine_.Services().Control(context_.processId, service, control, status);
}

Win32Error ServiceManagerView::DeleteService(Handle service) {
  return machine_.Services().Delete(context_.processId, service);
}

Win32Error ServiceManagerView::CloseServiceHandle(Handle handle) {
  return machine_.Services().Close(context_.processId, handle);
}

Win32Error ServiceManagerView::StartServiceCtrlDispatcher(const std::vector<ServiceTableEntry>& table) {
  return machine_.Services().RunDispatcher(context_.processId, table);
}

Win32Error ServiceManagerView::RegisterServiceCtrlHandler(std::u16string_view serviceName,
                                                          ServiceControlFunction handler,
                                                          Handle* statusHandle) {
  auto answering = [handler = std::move(handler)](uint32_t control) {
    handler(control);
    return kErrorSuccess;
  };
  return machine_.Services().RegisterHandler(context_.processId, serviceName, std::move(answering),
                                             false, statusHandle);
}

Win32Error ServiceManagerView::RegisterServiceCtrlHandlerEx(std::u16string_view serviceName,
                                                            ServiceControlExFunction handler,
                                                            Handle* statusHandle) {
  return machine_.Services().RegisterHandler(context_.processId, serviceName, std::move(handler),
                                             true, statusHandle);
}

Win32Error ServiceManagerView::SetServiceStatus(Handle statusHandle, const ServiceStatus& status) {
  return machine_.Services().SetStatus(context_.processId, statusHandle, status);
}

}  // namespace Emulated
