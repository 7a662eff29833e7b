#include "platform/emulated/processes/program_table.h"

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/registry/registry_key.h"

namespace Emulated {

namespace {

std::u16string FoldPath(std::u16string_view path) {
  std::u16string folded(path);
  for (char16_t& c : folded) c = FoldRegistryChar(c);
  return folded;
}

}  // namespace

void ProgramTable::Register(std::u16string_view imagePath, ProgramEntry entry) {
  std::lock_guard lock(mutex_);
  programs_[FoldPath(imagePath)] = std::move(entry);
}

std::optional<ProgramEntry> ProgramTable::Find(std::u16string_view imagePath) const {
  std::lock_guard lock(mutex_);
  auto it = programs_.find(FoldPath(imagePath));
  if (it == programs_.end()) return std::nullopt;
  return it->second;
}

void RegisterProgram(Machine& machine, std::u16string_view imagePath, ProgramEntry entry) {
  machine.Programs().Register(imagePath, std::move(entry));
}

int RunProgram(Machine& machine, const ProcessLaunch& launch,
               const std::vector<std::u16string>& args) {
  const std::optional<ProgramEntry> entry = machine.Programs().Find(launch.imagePath);
  if (!entry) return -1;
  const uint32_t processId = StartProcess(machine, launch);
  if (processId == 0) return -1;
  const int exitCode = (*entry)(machine.Process(processId), args);
  ExitProcess(machine, processId);
  return exitCode;
}

}  // namespace Emulated
