#include "platform/emulated/machine/machine.h"

#include "platform/emulated/files/file_store.h"
#include "platform/emulated/minifilter/minifilter.h"
#include "platform/emulated/machine/object_table.h"
#include "platform/emulated/machine/process_view.h"
#include "platform/emulated/processes/program_table.h"
#include "platform/emulated/registry/registry_store.h"
#include "platform/emulated/services/service_store.h"

namespace Emulated {

// Order matters: the registry and the drives report to the minifilter and signal
// objects of the object table, so those two exist first and go last.
Machine::Machine(MachineConfig config)
    : config_(std::move(config)), clock_(config_.utcOffsetMinutes), processes_(config_) {
  objects_ = std::make_unique<ObjectTable>(*this);
  filter_ = std::make_unique<Minifilter>(*this);
  registry_ = std::make_unique<RegistryStore>(*this);
  files_ = std::make_unique<FileStore>(*this);
  programs_ = std::make_unique<ProgramTable>();
  services_ = std::make_unique<ServiceStore>(*this);
}

Machine::~Machine() {
  // Service programs act through the views and every component: they end first.
  services_.reset();
  views_.clear();
  files_.reset();
  registry_.reset();
  filter_.reset();
  objects_.reset();
}

ActivitySink& Machine::Activity() { return *filter_; }

Platform::System& Machine::Process(uint32_t processId, uint32_t threadId) {
  std::lock_guard lock(viewsMutex_);
  auto& view = views_[{processId, threadId}];
  if (!view) view = std::make_unique<ProcessView>(*this, ViewContext{processId, threadId});
  return *view;
}

uint32_t Machine::CurrentThreadId(uint32_t processId) {
  std::lock_guard lock(viewsMutex_);
  auto key = std::make_pair(processId, std::this_thread::get_id());
  auto it = hostThreads_.find(key);
  if (it != hostThreads_.end()) return it->second;
  const uint32_t id = processes_.NewThreadId();
  hostThreads_.emplace(key, id);
  processes_.AddThread(processId, id);
  return id;
}

}  // namespace Emulated
