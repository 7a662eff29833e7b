#pragma once
// An emulated machine whose drive C is a fresh host folder, removed with the machine.

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/emulated/machine.h"

class TemporaryMachine {
 public:
  explicit TemporaryMachine(Emulated::MachineConfig config = {}) {
    std::string pattern = (std::filesystem::temp_directory_path() / "brumevale-XXXXXX").string();
    hostFolder_ = mkdtemp(pattern.data()) ? pattern : std::string();
    config.drives.push_back(Emulated::DriveMapping{u'C', hostFolder_, 2});
    machine_ = std::make_unique<Emulated::Machine>(std::move(config));
  }
  ~TemporaryMachine() {
    machine_.reset();
    std::error_code ignored;
    if (!hostFolder_.empty()) std::filesystem::remove_all(hostFolder_, ignored);
  }
  TemporaryMachine(const TemporaryMachine&) = delete;
  TemporaryMachine& operator=(const TemporaryMachine&) = delete;

  Emulated::Machine& Machine() { return *machine_; }
  // The view of the service's own process.
  Platform::System& Service() { return machine_->Process(kServiceProcessId); }
  const std::string& HostFolder() const { return hostFolder_; }

  static constexpr uint32_t kServiceProcessId = 900;

 private:
  std::string hostFolder_;
  std::unique_ptr<Emulated::Machine> machine_;
};
