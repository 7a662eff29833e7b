#pragma once
// The programs of the emulated machine: which C++ entry runs when a process is
// started from an image path. The simulator and tests register the service's own
// program (and any helper they need); the service control manager looks the image
// of a service up here when it starts the service's process.
//
// Threads: every operation may be called from any thread.

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/processes/process_control.h"
#include "platform/system.h"

namespace Emulated {

class Machine;

// A program's main: the process's own view of the machine and its arguments after
// the program name. The result is the process's exit code.
using ProgramEntry =
    std::function<int(Platform::System& system, const std::vector<std::u16string>& args)>;

class ProgramTable {
 public:
  // Image paths in drive-letter form; compared ignoring the case of A to Z, as
  // Windows compares paths. A second registration replaces the first.
  void Register(std::u16string_view imagePath, ProgramEntry entry);
  std::optional<ProgramEntry> Find(std::u16string_view imagePath) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::u16string, ProgramEntry> programs_;  // keys folded to upper case
};

void RegisterProgram(Machine& machine, std::u16string_view imagePath, ProgramEntry entry);

// Runs a program the way a console starts it: a new process from launch, the entry
// on the calling thread acting as that process, then the process exits. The exit
// code, or -1 when the image is not a registered program or the process could not
// be started.
int RunProgram(Machine& machine, const ProcessLaunch& launch,
               const std::vector<std::u16string>& args);

}  // namespace Emulated
