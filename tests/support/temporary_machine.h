#pragma once
// An emulated machine whose drive C is a fresh host folder, removed with the machine.

#include <memory>
#include <string>

#include "platform/emulated/machine/machine.h"
#include "support/temporary_folder.h"

class TemporaryMachine {
 public:
  explicit TemporaryMachine(Emulated::MachineConfig config = {})
      : machine_(std::make_unique<Emulated::Machine>(ConfigOnDrive(folder_.Path(), std::move(config)))) {}
  ~TemporaryMachine() { machine_.reset(); }
  TemporaryMachine(const TemporaryMachine&) = delete;
  TemporaryMachine& operator=(const TemporaryMachine&) = delete;

  Emulated::Machine& Machine() { return *machine_; }
  // The view of the service's own process.
  Platform::System& Service() { return machine_->Process(kServiceProcessId); }
  std::string HostFolder() const { return folder_.String(); }

  static constexpr uint32_t kServiceProcessId = 900;

 private:
  TemporaryFolder folder_;
  std::unique_ptr<Emulated::Machine> machine_;
};
