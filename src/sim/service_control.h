#pragma once
// Starting and stopping a service or driver of the machine by name, as an
// administrator's console does (sc start / sc stop): through the service manager,
// in the System process's name so that no extra process shows up in the machine's
// history.

#include <string_view>

#include "platform/emulated/machine/machine.h"
#include "platform/win32_types.h"

namespace Sim {

// StartService, or ControlService(SERVICE_CONTROL_STOP); the manager's answer.
Platform::Win32Error ControlServiceByName(Emulated::Machine& machine, std::u16string_view name,
                                          bool start);

}  // namespace Sim
