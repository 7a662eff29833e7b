#include "platform/emulated/files/file_drives.h"

#include "platform/emulated/files/file_directory.h"
#include "platform/emulated/files/file_path.h"
#include "platform/text_encoding.h"

namespace Emulated {

using namespace Platform;
namespace {

std::u16string DeviceFor(uint32_t volumeNumber) {
  return u"\\Device\\HarddiskVolume" + Utf8ToUtf16(std::to_string(volumeNumber));
}

}  // namespace

const DriveMapping* FileDrives::Find(char16_t letter) const {
  for (const auto& drive : drives_) {
    if (EqualsIgnoreAsciiCase(std::u16string(1, drive.letter), std::u16string(1, letter))) return &drive;
  }
  return nullptr;
}

std::optional<std::u16string> FileDrives::DeviceName(char16_t letter) const {
  const DriveMapping* drive = Find(letter);
  if (drive == nullptr) return std::nullopt;
  return DeviceFor(drive->volumeNumber);
}

Win32Error FileDrives::Resolve(std::u16string_view fullPath, ResolvedPath* out) const {
  char16_t letter = 0;
  auto components = SplitDrivePath(fullPath, &letter);
  if (!components) return kErrorInvalidName;
  const DriveMapping* drive = Find(letter);
  if (drive == nullptr) return kErrorPathNotFound;
  ResolvedPath result;
  result.letter = letter;
  result.volumeNumber = drive->volumeNumber;
  result.host = std::filesystem::path(drive->hostFolder);
  result.longPath = result.expandedPath = std::u16string(1, letter) + u":";
  result.exists = result.isDirectory = std::filesystem::is_directory(result.host);
  result.isRoot = components->empty();
  if (!result.exists) return kErrorPathNotFound;
  for (size_t i = 0; i < components->size(); ++i) {
    const bool last = i + 1 == components->size();
    std::u16string name = (*components)[i];
    if (last && !SplitStream(name, &name, &result.stream)) return kErrorInvalidName;
    if (!IsValidFileName(name)) return kErrorInvalidName;
    if (!result.isDirectory) return kErrorPathNotFound;
    bool matchedShort = false;
    auto entry = FindEntry(result.host, name, &matchedShort);
    if (!entry && !last) return kErrorPathNotFound;
    result.longPath += u"\\" + (entry ? entry->longName : name);
    result.expandedPath += u"\\" + (matchedShort ? entry->longName : name);
    result.host = entry ? entry->host : result.host / Utf16ToUtf8(name);
    result.exists = entry.has_value();
    result.isDirectory = entry && (entry->info.attributes & kFileAttributeDirectory) != 0;
    if (last && entry) result.info = entry->info;
  }
  if (result.isRoot) {
    result.longPath += u"\\";
    result.expandedPath += u"\\";
  }
  *out = std::move(result);
  return kErrorSuccess;
}

std::u16string FileDrives::DevicePath(const ResolvedPath& path) {
  std::u16string device = DeviceFor(path.volumeNumber) + path.longPath.substr(2);
  if (!path.stream.empty()) device += u":" + path.stream;
  return device;
}

std::u16string FileDrives::RenameTarget(const ResolvedPath& path) {
  return u"\\??\\" + path.longPath;
}

}  // namespace Emulated
