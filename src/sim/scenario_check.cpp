// Checks of a scenario against the booted image, made before anything runs.

#include <algorithm>
#include <vector>

#include "platform/text_encoding.h"
#include "sim/scenario_player.h"

namespace Sim {
namespace {

// Windows names compare without regard to case.
std::u16string Folded(std::u16string_view path) {
  std::u16string folded(path);
  for (char16_t& c : folded) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return folded;
}

// The files that a line leaves behind for a later copy to read.
const std::u16string* FileMade(const ScenarioAction& action) {
  switch (action.kind) {
    case ActionKind::kFileCreate:
    case ActionKind::kFileWrite:
      return &action.path;
    case ActionKind::kFileCopy:
    case ActionKind::kFileRename:
      return &action.newPath;
    default:
      return nullptr;
  }
}

}  // namespace

bool CheckCopySources(Emulated::Machine& machine, const Scenario& scenario,
                      const std::string& scenarioName, std::string* error) {
  // The system process only looks: reading attributes reports nothing to the driver.
  Platform::FileSystem& files = machine.Process(Emulated::ProcessList::kSystemProcessId).Files();
  std::vector<std::u16string> made;
  for (const ScenarioAction& action : scenario.actions) {
    if (action.kind == ActionKind::kFileCopy &&
        std::find(made.begin(), made.end(), Folded(action.path)) == made.end()) {
      Platform::FileAttributeData data;
      std::string problem;
      if (files.GetFileAttributesEx(action.path, &data) != Platform::kErrorSuccess)
        problem = "is not a file of the image, nor written by an earlier line";
      else if (data.attributes & Platform::kFileAttributeDirectory)
        problem = "is a folder; file copy copies one file";
      if (!problem.empty()) {
        *error = scenarioName + ":" + std::to_string(action.line) + ": file copy: the source \"" +
                 Platform::Utf16ToUtf8(action.path) + "\" " + problem;
        return false;
      }
    }
    if (const std::u16string* path = FileMade(action)) made.push_back(Folded(*path));
  }
  return true;
}

}  // namespace Sim
