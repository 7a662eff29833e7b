#pragma once
// One process's Platform::System on the emulated machine.

#include "platform/emulated/environment/environment_view.h"
#include "platform/emulated/files/file_view.h"
#include "platform/emulated/minifilter/filter_port_view.h"
#include "platform/emulated/processes/named_objects_view.h"
#include "platform/emulated/processes/processes_view.h"
#include "platform/emulated/services/service_manager_view.h"
#include "platform/emulated/authenticode/trust_view.h"
#include "platform/emulated/pe/version_info_view.h"
#include "platform/emulated/registry/registry_view.h"
#include "platform/system.h"

namespace Emulated {

class ProcessView : public Platform::System {
 public:
  ProcessView(Machine& machine, ViewContext context);

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
  RegistryView registry_;
  FileView files_;
  EnvironmentView environment_;
  NamedObjectsView objects_;
  ProcessesView processes_;
  ServiceManagerView services_;
  FilterPortView filterPort_;
  TrustView trust_;
  VersionInfoView versionInfo_;
};

}  // namespace Emulated
