#include "sim/service_control.h"

#include "platform/emulated/processes/process_list.h"

namespace Sim {

Platform::Win32Error ControlServiceByName(Emulated::Machine& machine, std::u16string_view name,
                                          bool start) {
  Platform::ServiceManager& scm = machine.Process(Emulated::ProcessList::kSystemProcessId).Services();
  Platform::Handle manager = 0, service = 0;
  Platform::Win32Error rc = scm.OpenSCManager(Platform::kScManagerConnect, &manager);
  if (rc == Platform::kErrorSuccess)
    rc = scm.OpenService(manager, name, Platform::kServiceStart | Platform::kServiceStop, &service);
  if (rc == Platform::kErrorSuccess) {
    Platform::ServiceStatus status;
    rc = start ? scm.StartService(service, {}) : scm.ControlService(service, Platform::kServiceControlStop, &status);
    scm.CloseServiceHandle(service);
  }
  if (manager != 0) scm.CloseServiceHandle(manager);
  return rc;
}

}  // namespace Sim
