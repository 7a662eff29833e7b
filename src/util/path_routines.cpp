#include "util/path_routines.h"

#include "util/registry_readers.h"

namespace VyrUtilities {

namespace {

// The Win32 buffers behind these routines hold MAX_PATH characters.
constexpr uint32_t kPathCapacity = 260;

}  // namespace

bool SplitPath(std::u16string_view path, std::u16string* directory, std::u16string* name,
               std::u16string* extension, std::u16string* drive) {
  size_t slash = path.rfind(u'\\');
  std::u16string_view namePart = slash == std::u16string_view::npos ? path : path.substr(slash + 1);
  if (directory != nullptr) {
    *directory = slash == std::u16string_view::npos ? u"" : std::u16string(path.substr(0, slash));
  }
  if (name != nullptr) *name = namePart;
  size_t dot = namePart.rfind(u'.');
  if (extension != nullptr && dot != std::u16string_view::npos) {
    *extension = namePart.substr(dot + 1);
  }
  if (drive != nullptr && path.find(u':') == 1) *drive = path.substr(0, 1);
  return true;
}

std::u16string ParentPath(std::u16string_view path, int levels) {
  std::vector<std::u16string_view> pieces;
  size_t start = 0;
  for (size_t slash = path.find(u'\\'); slash != std::u16string_view::npos;
       slash = path.find(u'\\', start)) {
    pieces.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  pieces.push_back(path.substr(start));
  if (!pieces.empty() && pieces.back().empty()) pieces.pop_back();
  if (levels < 0 || pieces.size() <= static_cast<size_t>(levels)) return {};
  std::u16string result;
  for (size_t i = 0; i + levels < pieces.size(); ++i) {
    if (i > 0) result += u'\\';
    result += pieces[i];
  }
  return result;
}

std::u16string ExpandEnvironment(Platform::System& system, std::u16string_view text) {
  std::u16string expanded;
  uint32_t required = 0;
  if (system.Environment().ExpandEnvironmentStrings(text, kPathCapacity, &expanded, &required) !=
      Platform::kErrorSuccess) {
    return std::u16string(text);
  }
  return expanded;
}

std::u16string GetSpecialFolder(Platform::System& system, int csidl) {
  std::u16string path;
  if (system.Environment().GetSpecialFolder(csidl, kPathCapacity, &path) !=
      Platform::kErrorSuccess) {
    return {};
  }
  return path;
}

std::u16string GetProfilesBase(Platform::System& system, bool oneLevel) {
  std::u16string documents = GetSpecialFolder(system, Platform::kCsidlPersonal);
  if (oneLevel) return ParentPath(documents, 1);
  // A service running as LocalSystem has its documents folder under the system
  // profile (C:\Windows\System32\config\systemprofile), two levels below which lie
  // no user profiles; the profile list names the real folder.
  std::u16string configured;
  if (ReadRegistryString(system, Platform::kHkeyLocalMachine,
                         u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                         u"ProfilesDirectory", configured) &&
      !configured.empty()) {
    return ExpandEnvironment(system, configured);
  }
  return ParentPath(documents, 2);
}

}  // namespace VyrUtilities
