#include "util/drive_map.h"

#include "util/text_routines.h"

namespace VyrUtilities {

namespace {

constexpr uint32_t kDeviceCapacity = 260;

std::u16string QueryLetter(Platform::System& system, char16_t letter) {
  std::u16string device;
  std::u16string drive{FoldAscii(letter), u':'};
  if (system.Files().QueryDosDevice(drive, kDeviceCapacity, &device) != Platform::kErrorSuccess) {
    return {};
  }
  return device;
}

}  // namespace

DriveMap::DriveMap(Platform::System& system) : system_(system) {}

bool DriveMap::Initialise() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (initialised_) return false;
  BuildLocked();
  initialised_ = true;
  return true;
}

bool DriveMap::Build() {
  std::lock_guard<std::mutex> lock(mutex_);
  BuildLocked();
  return true;
}

void DriveMap::BuildLocked() {
  devices_.clear();
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
    std::u16string device = QueryLetter(system_, letter);
    if (!device.empty()) devices_[ToUpper(device)] = letter;
  }
}

std::u16string DriveMap::DriveLetterOfDevice(std::u16string_view device) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::u16string key = ToUpper(device);
  // A miss, or a letter that now names another volume, means the drives changed
  // since the map was built: rebuild once and look again.
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto found = devices_.find(key);
    if (found != devices_.end() &&
        EqualsIgnoreCase(QueryLetter(system_, found->second), device)) {
      return std::u16string(1, found->second);
    }
    if (attempt == 0) BuildLocked();
  }
  return {};
}

std::u16string DriveMap::DevicePathToDosPath(std::u16string_view path) {
  if (path.empty() || path[0] != u'\\') return {};
  size_t second = path.find(u'\\', 1);
  if (second == std::u16string_view::npos) return {};
  size_t third = path.find(u'\\', second + 1);
  std::u16string_view device = path.substr(0, third);
  std::u16string letter = DriveLetterOfDevice(device);
  if (letter.empty()) return {};
  std::u16string_view rest =
      third == std::u16string_view::npos ? std::u16string_view() : path.substr(third);
  return letter + u":" + std::u16string(rest);
}

std::u16string DriveMap::DosPathToDevicePath(std::u16string_view path) {
  if (path.starts_with(u"\\??\\")) path.remove_prefix(4);
  size_t colon = path.find(u':');
  if (colon == std::u16string_view::npos) return {};
  std::u16string device = QueryDriveDevice(path.substr(0, colon));
  if (device.empty()) return {};
  return device + std::u16string(path.substr(colon + 1));
}

std::u16string DriveMap::QueryDriveDevice(std::u16string_view drive) {
  if (drive.empty()) return {};
  return QueryLetter(system_, drive[0]);
}

}  // namespace VyrUtilities
