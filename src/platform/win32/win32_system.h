#pragma once
// The Platform::System of the running Windows process: one adapter per interface.
// wmain builds one and hands it to the core; nothing else in the process makes one.

#include "platform/system.h"
#include "platform/win32/environment_win32.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/filter_port_win32.h"
#include "platform/win32/named_objects_win32.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/service_manager_win32.h"
#include "platform/win32/trust_win32.h"
#include "platform/win32/version_info_win32.h"

namespace Win32 {

class System final : public Platform::System {
 public:
  Platform::Registry& Registry() override { return registry_; }
  Platform::FileSystem& Files() override { return files_; }
  Platform::Environment& Environment() override { return environment_; }
  Platform::NamedObjects& Objects() override { return objects_; }
  Platform::Processes& Processes() override { return processes_; }
  Platform::ServiceManager& Services() override { return services_; }
  Platform::FilterPort& FilterPort() override { return filterPort_; }
  Platform::Trust& Trust() override { return trust_; }
  Platform::VersionInfo& VersionInfo() override { return versionInfo_; }

 private:
  Win32::Registry registry_;
  Win32::FileSystem files_;
  Win32::Environment environment_;
  Win32::NamedObjects objects_;
  Win32::Processes processes_;
  Win32::ServiceManager services_;
  Win32::FilterPort filterPort_;
  Win32::Trust trust_;
  Win32::VersionInfo versionInfo_;
};

}  // namespace Win32
