#pragma once
// Installing and removing the service "Brumevale" and its minifilter driver service
// "BrumevaleLookout", and starting and stopping the driver with the service. Every
// routine closes what it opened and answers true on success.

#include <string_view>

#include "platform/system.h"
#include "util/vyr_log.h"

namespace Service {

inline constexpr char16_t kDriverServiceName[] = u"BrumevaleLookout";

bool InstallService(Platform::System& system);
bool RemoveService(Platform::System& system);
bool InstallDriver(Platform::System& system, std::u16string_view programDirectory);
bool WriteMinifilterRegistration(Platform::System& system);
bool RemoveDriver(Platform::System& system);

bool StartLogDriver(Platform::System& system, VyrUtilities::VyrLog& log);
bool StopLogDriver(Platform::System& system);

}  // namespace Service
