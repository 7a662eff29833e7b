#include "service/service_install.h"

#include <string>

#include "platform/byte_order.h"
#include "platform/scoped_handle.h"
#include "service/logger_process.h"

namespace Service {

using namespace Platform;

namespace {

constexpr uint32_t kDriverAccess = 0x10030;  // delete, start, stop
constexpr uint32_t kModuleNameCapacity = 260;
constexpr char16_t kDriverKeyPath[] = u"SYSTEM\\CurrentControlSet\\Services\\BrumevaleLookout";

ScopedService OpenManager(System& system, uint32_t access) {
  ServiceManager& scm = system.Services();
  ScopedService manager;
  if (scm.OpenSCManager(access, manager.Receive(scm)) != kErrorSuccess) manager.Release();
  return manager;
}

ScopedService OpenNamed(System& system, const ScopedService& manager, std::u16string_view name,
                        uint32_t access) {
  ServiceManager& scm = system.Services();
  ScopedService service;
  if (scm.OpenService(manager.Get(), name, access, service.Receive(scm)) != kErrorSuccess) {
    service.Release();
  }
  return service;
}

// Strings are stored with their terminating NUL counted in the size.
bool SetString(Registry& registry, Handle key, std::u16string_view name, std::u16string_view text) {
  return registry.SetValue(key, name, kRegSz, Utf16LeBytesWithNul(text)) == kErrorSuccess;
}

// The subkeys are created by their path from HKEY_LOCAL_MACHINE rather than below the
// driver key's handle: that handle holds only the set-value right, and whether a
// create below it is allowed depends on whether the check is made on the key's
// security (Windows) or on the handle; from the root both agree.
bool CreateSubkey(Registry& registry, std::u16string_view below, ScopedKey* key) {
  const std::u16string path = std::u16string(kDriverKeyPath) + u"\\" + std::u16string(below);
  return registry.CreateKey(kHkeyLocalMachine, path, kRegOptionNonVolatile, kKeySetValue,
                            key->Receive(registry), nullptr) == kErrorSuccess;
}

}  // namespace

// The image path is the program's full path in quotes: unquoted, a path with
// spaces ("C:\Program Files\...") lets the manager try "C:\Program.exe" first, and
// whoever can put a file there has it started as LocalSystem.
bool InstallService(System& system) {
  std::u16string programPath;
  if (system.Environment().GetModuleFileName(kModuleNameCapacity, &programPath) != kErrorSuccess) {
    return false;
  }
  ScopedService manager = OpenManager(system, kScManagerAllAccess);
  if (!manager) return false;
  const ServiceConfig config{kServiceName, kServiceName, kServiceAllAccess,
                             kServiceWin32OwnProcess, kServiceAutoStart, 1,
                             u"\"" + programPath + u"\"", u"Event Log", u""};
  ServiceManager& scm = system.Services();
  ScopedService service;
  return scm.CreateService(manager.Get(), config, service.Receive(scm)) == kErrorSuccess;
}

bool RemoveService(System& system) {
  ScopedService manager = OpenManager(system, kScManagerAllAccess);
  if (!manager) return false;
  ScopedService service = OpenNamed(system, manager, kServiceName, kDelete);
  return service && system.Services().DeleteService(service.Get()) == kErrorSuccess;
}

// A driver's image path stays unquoted: the kernel's loader takes it as one path
// and does not strip quotes as the service manager does for programs.
bool InstallDriver(System& system, std::u16string_view programDirectory) {
  const std::u16string image =
      std::u16string(programDirectory) + u"\\" + kDriverServiceName + u".sys";
  ScopedService manager = OpenManager(system, kScManagerCreateService);
  if (!manager) return false;
  const ServiceConfig config{kDriverServiceName, u"Brumevale Driver", kDriverAccess,
                             kServiceFileSystemDriver, kServiceDemandStart, 0, image, u"", u""};
  ServiceManager& scm = system.Services();
  ScopedService driver;
  if (scm.CreateService(manager.Get(), config, driver.Receive(scm)) == kErrorSuccess) {
    if (WriteMinifilterRegistration(system)) return true;
    driver.Reset();
    RemoveDriver(system);
    return false;
  }
  return OpenNamed(system, manager, kDriverServiceName, kDriverAccess).IsValid();
}

bool WriteMinifilterRegistration(System& system) {
  Registry& registry = system.Registry();
  ScopedKey driverKey;
  if (registry.OpenKey(kHkeyLocalMachine, kDriverKeyPath, kKeySetValue,
                       driverKey.Receive(registry)) != kErrorSuccess) {
    return false;
  }
  SetString(registry, driverKey.Get(), u"Group", u"FSFilter Activity Monitor");
  ScopedKey instances;
  if (!CreateSubkey(registry, u"Instances", &instances)) return false;
  if (!SetString(registry, instances.Get(), u"DefaultInstance", u"AltitudeAndFlags")) return false;
  ScopedKey altitude;
  if (!CreateSubkey(registry, u"Instances\\AltitudeAndFlags", &altitude)) return false;
  if (!SetString(registry, altitude.Get(), u"Altitude", u"373495")) return false;
  const std::vector<uint8_t> zero(4, 0);
  return registry.SetValue(altitude.Get(), u"Flags", kRegDword, zero) == kErrorSuccess;
}

bool RemoveDriver(System& system) {
  ScopedService manager = OpenManager(system, kScManagerCreateService);
  if (!manager) return false;
  ScopedService driver = OpenNamed(system, manager, kDriverServiceName, kDriverAccess);
  if (driver) {
    ServiceStatus status;
    system.Services().ControlService(driver.Get(), kServiceControlStop, &status);
    system.Services().DeleteService(driver.Get());
  }
  return true;
}

bool StartLogDriver(System& system, VyrUtilities::VyrLog& log) {
  log.WriteHeader(u"StartLogDriver");
  ScopedService manager = OpenManager(system, kScManagerCreateService);
  log.Write(manager ? u"OpenSCManager: SUCCESS" : u"OpenSCManager: FAILED", 1, 0, 0);
  if (!manager) return false;
  ScopedService driver = OpenNamed(system, manager, kDriverServiceName, kDriverAccess);
  log.Write(driver ? u"OpenService: SUCCESS" : u"OpenService: FAILED", 1, 0, 0);
  if (!driver) return false;
  // The start's own result does not count: a driver that already runs is what the
  // service needs.
  system.Services().StartService(driver.Get(), {});
  log.Write(u"Driver Started.\n", 1, 0, 0);
  return true;
}

bool StopLogDriver(System& system) {
  ScopedService manager = OpenManager(system, kScManagerCreateService);
  if (!manager) return false;
  ScopedService driver = OpenNamed(system, manager, kDriverServiceName, kDriverAccess);
  if (!driver) return false;
  ServiceStatus status;
  system.Services().ControlService(driver.Get(), kServiceControlStop, &status);
  return true;
}

}  // namespace Service
