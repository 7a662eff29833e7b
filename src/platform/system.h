#pragma once
// One process's view of the operating system: every facility the core may use.
// Objects that need the system hold a Platform::System& (free routines take it as
// their first argument); there is no global, so every test can build its own
// machine.

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/filter_port.h"
#include "platform/named_objects.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/service_manager.h"
#include "platform/trust.h"
#include "platform/version_info.h"

namespace Platform {

class System {
 public:
  virtual ~System() = default;
  virtual Platform::Registry& Registry() = 0;
  virtual Platform::FileSystem& Files() = 0;
  virtual Platform::Environment& Environment() = 0;
  virtual Platform::NamedObjects& Objects() = 0;
  virtual Platform::Processes& Processes() = 0;
  virtual Platform::ServiceManager& Services() = 0;
  virtual Platform::FilterPort& FilterPort() = 0;
  virtual Platform::Trust& Trust() = 0;
  virtual Platform::VersionInfo& VersionInfo() = 0;
};

}  // namespace Platform
