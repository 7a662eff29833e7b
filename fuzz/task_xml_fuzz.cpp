// Any bytes as the XML file of a scheduled task: ParseTaskXml must answer (a task
// or not) without crashing or hanging, whatever the file holds. The file is read
// the way the rescan reads it, through the machine's file system.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "families/tasks/task_scan.h"
#include "platform/emulated/machine/machine.h"

using Families::ParseTaskXml;
using Families::TaskDefinition;

namespace {

// One machine for the whole run, its drive C on a host folder of its own; each
// input replaces the one task file on it.
class TaskMachine {
 public:
  TaskMachine() {
    std::string pattern = (std::filesystem::temp_directory_path() / "task-fuzz-XXXXXX").string();
    folder_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    Emulated::MachineConfig config;
    config.drives.push_back(Emulated::DriveMapping{u'C', folder_, 2});
    machine_ = std::make_unique<Emulated::Machine>(config);
  }
  ~TaskMachine() {
    machine_.reset();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  void Parse(const uint8_t* data, size_t size) {
    std::ofstream(folder_ + "/task.xml", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    TaskDefinition task;
    ParseTaskXml(machine_->Process(kScannerProcess), task, u"C:\\task.xml");
  }

 private:
  static constexpr uint32_t kScannerProcess = 900;
  std::string folder_;
  std::unique_ptr<Emulated::Machine> machine_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TaskMachine machine;
  machine.Parse(data, size);
  return 0;
}
