#pragma once
// The machine's drive letters over host folders: turns a full Windows path into the
// host entry that holds it, with the names as stored, and gives the NT device form
// in which the kernel reports the path.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/machine/machine_config.h"
#include "platform/file_system.h"
#include "platform/win32_types.h"

namespace Emulated {

struct ResolvedPath {
  char16_t letter = 0;
  uint32_t volumeNumber = 0;
  std::filesystem::path host;  // the entry itself (for a stream: the file that has it)
  std::u16string longPath;     // "C:\Program Files\x": names as stored, 8.3 names expanded
  std::u16string expandedPath; // the path as given, only its 8.3 components expanded
  std::u16string stream;       // empty for the file itself
  bool exists = false;
  bool isDirectory = false;
  bool isRoot = false;
  // The last component's attributes as the walk read them; none for a root or a
  // missing entry.
  std::optional<Platform::FileAttributeData> info;
};

class FileDrives {
 public:
  explicit FileDrives(const std::vector<DriveMapping>& drives) : drives_(drives) {}

  // fullPath is absolute ("C:\..."). The last component need not exist (exists
  // tells); a missing drive or parent is kErrorPathNotFound, a name Windows refuses
  // kErrorInvalidName.
  Platform::Win32Error Resolve(std::u16string_view fullPath, ResolvedPath* out) const;

  // "\Device\HarddiskVolume2" for "C", nothing for a letter without a drive.
  std::optional<std::u16string> DeviceName(char16_t letter) const;
  // "\Device\HarddiskVolume2\dir\name" (":stream" appended for a stream).
  static std::u16string DevicePath(const ResolvedPath& path);
  // "\??\C:\dir\name": how a rename target reaches the kernel.
  static std::u16string RenameTarget(const ResolvedPath& path);

 private:
  const DriveMapping* Find(char16_t letter) const;

  std::vector<DriveMapping> drives_;
};

}  // namespace Emulated
