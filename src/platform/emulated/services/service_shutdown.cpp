// The machine's shutdown as the manager plays it to the services still running.

#include "platform/emulated/services/service_store.h"

namespace Emulated {

using namespace Platform;

bool ServiceStore::Reachable(const Runtime& runtime, uint32_t control) {
  if (runtime.processId == 0 || !runtime.dispatcherConnected || !runtime.handler) return false;
  if (runtime.status.currentState == kServiceStopped) return false;
  if (control == kServiceControlPreshutdown) {
    // A plain handler has no way to answer it, so the manager never sends it there.
    return runtime.extendedHandler &&
           (runtime.status.controlsAccepted & kServiceAcceptPreshutdown) != 0;
  }
  return (runtime.status.controlsAccepted & kServiceAcceptShutdown) != 0;
}

void ServiceStore::QueueControl(Runtime& runtime, uint32_t control) {
  runtime.controls.push_back(control);
  ++runtime.controlsQueued;
  changed_.notify_all();
}

void ServiceStore::ShutDown(std::chrono::milliseconds preshutdownWait) {
  Lock lock(mutex_);
  std::vector<Runtime*> told;
  for (auto& [name, runtime] : services_) {
    if (!Reachable(*runtime, kServiceControlPreshutdown)) continue;
    QueueControl(*runtime, kServiceControlPreshutdown);
    told.push_back(runtime.get());
  }
  changed_.wait_for(lock, preshutdownWait, [&] {
    for (const Runtime* runtime : told) {
      if (runtime->status.currentState != kServiceStopped && runtime->processId != 0) return false;
    }
    return true;
  });
  for (auto& [name, runtime] : services_) {
    if (Reachable(*runtime, kServiceControlShutdown)) QueueControl(*runtime, kServiceControlShutdown);
  }
}

}  // namespace Emulated
