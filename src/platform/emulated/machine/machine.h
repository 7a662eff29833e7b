#pragma once
// One emulated Windows machine: its registry, drives, kernel objects, processes,
// clock and minifilter. Machine::Process(pid) hands out that process's view of the
// operating system; every change made through a view is attributed to that process
// (and thread) and reported to the emulated minifilter.
//
// Threads: a machine is used at once by the service's threads and by a scenario's
// actors. Every component guards its own state; a view may be used from any thread.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/emulated/machine/activity_sink.h"
#include "platform/emulated/machine/clock.h"
#include "platform/emulated/machine/machine_config.h"
#include "platform/emulated/processes/process_list.h"
#include "platform/system.h"

namespace Emulated {

class RegistryStore;
class FileStore;
class ObjectTable;
class Minifilter;
class ProcessView;
class ServiceStore;
class ProgramTable;

class Machine {
 public:
  explicit Machine(MachineConfig config);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // The view of process pid. With threadId 0 the acting thread is the calling host
  // thread, given a thread id of that process on first use; a non-zero threadId acts
  // as that thread whatever host thread calls. Views live as long as the machine.
  Platform::System& Process(uint32_t processId, uint32_t threadId = 0);

  // The emulated thread id of the calling host thread inside processId.
  uint32_t CurrentThreadId(uint32_t processId);

  const MachineConfig& Config() const { return config_; }
  Clock& Time() { return clock_; }
  ProcessList& ProcessTable() { return processes_; }
  RegistryStore& RegistryState() { return *registry_; }
  FileStore& FileState() { return *files_; }
  ObjectTable& ObjectState() { return *objects_; }
  Minifilter& Filter() { return *filter_; }
  // The service control manager and the programs it can start.
  ServiceStore& Services() { return *services_; }
  ProgramTable& Programs() { return *programs_; }
  // The sink every component reports activity to (the minifilter).
  ActivitySink& Activity();

 private:
  MachineConfig config_;
  Clock clock_;
  ProcessList processes_;
  std::unique_ptr<ObjectTable> objects_;
  std::unique_ptr<Minifilter> filter_;
  std::unique_ptr<RegistryStore> registry_;
  std::unique_ptr<FileStore> files_;
  std::unique_ptr<ProgramTable> programs_;
  std::unique_ptr<ServiceStore> services_;

  std::mutex viewsMutex_;
  std::map<std::pair<uint32_t, uint32_t>, std::unique_ptr<ProcessView>> views_;
  std::map<std::pair<uint32_t, std::thread::id>, uint32_t> hostThreads_;
};

}  // namespace Emulated
