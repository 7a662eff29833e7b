#include "util/drive_map.h"

#include "util/text_routines.h"

namespace VyrUtilities {

namespace {

constexpr uint32_t kDeviceCapacity = 260;

// The device of a drive letter, into a caller's buffer so that repeated lookups
// reuse its storage; false when the letter has no device.
bool QueryLetter(Platform::System& system, char16_t letter, std::u16string& device) {
  const char16_t drive[] = {FoldAscii(letter), u':'};
  return system.Files().QueryDosDevice(std::u16string_view(drive, 2), kDeviceCapacity,
                                       &device) == Platform::kErrorSuccess;
}

std::u16string QueryLetter(Platform::System& system, char16_t letter) {
  std::u16string device;
  if (!QueryLetter(system, letter, device)) return {};
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
  lastDevice_.clear();
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
    std::u16string device = QueryLetter(system_, letter);
    if (!device.empty()) devices_[ToUpper(device)] = letter;
  }
}

std::u16string DriveMap::DriveLetterOfDevice(std::u16string_view device) {
  std::lock_guard<std::mutex> lock(mutex_);
  const char16_t letter = LetterOfDeviceLocked(device);
  return letter == 0 ? std::u16string() : std::u16string(1, letter);
}

char16_t DriveMap::LetterOfDeviceLocked(std::u16string_view device) {
  // File records name the same few volumes over and over: the last device found
  // skips the case folding and the table search. It is a copy of a table entry,
  // cleared with the table, and its letter is checked against the device like any
  // other.
  if (!lastDevice_.empty() && device == lastDevice_) {
    if (batchDepth_ > 0 && lastChecked_) return lastLetter_;
    if (LetterStillNames(lastLetter_, device)) {
      lastChecked_ = true;
      return lastLetter_;
    }
  }
  const std::u16string key = ToUpper(device);
  // A miss, or a letter that now names another volume, means the drives changed
  // since the map was built: rebuild once and look again.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto found = devices_.find(key);
    if (found != devices_.end() && LetterStillNames(found->second, device)) {
      lastDevice_.assign(device);
      lastLetter_ = found->second;
      lastChecked_ = true;
      return found->second;
    }
    if (attempt == 0) BuildLocked();
  }
  return 0;
}

bool DriveMap::LetterStillNames(char16_t letter, std::u16string_view device) {
  // The device usually comes back exactly as it was asked; the case-blind
  // comparison is only for when it does not.
  return QueryLetter(system_, letter, queried_) &&
         (std::u16string_view(queried_) == device || EqualsIgnoreCase(queried_, device));
}

std::u16string DriveMap::DevicePathToDosPath(std::u16string_view path) {
  if (path.empty() || path[0] != u'\\') return {};
  size_t second = path.find(u'\\', 1);
  if (second == std::u16string_view::npos) return {};
  size_t third = path.find(u'\\', second + 1);
  std::u16string_view device = path.substr(0, third);
  char16_t letter = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    letter = LetterOfDeviceLocked(device);
  }
  if (letter == 0) return {};
  std::u16string_view rest =
      third == std::u16string_view::npos ? std::u16string_view() : path.substr(third);
  std::u16string dosPath;
  dosPath.reserve(2 + rest.size());
  dosPath.append({letter, u':'}).append(rest);
  return dosPath;
}

std::u16string DriveMap::DosPathToDevicePath(std::u16string_view path) {
  if (path.starts_with(u"\\??\\")) path.remove_prefix(4);
  size_t colon = path.find(u':');
  if (colon == std::u16string_view::npos) return {};
  std::u16string device = QueryDriveDevice(path.substr(0, colon));
  if (device.empty()) return {};
  return device + std::u16string(path.substr(colon + 1));
}

void DriveMap::BeginBatch() {
  std::lock_guard<std::mutex> lock(mutex_);
  // A new reply checks its letters afresh.
  if (batchDepth_++ == 0) lastChecked_ = false;
}

void DriveMap::EndBatch() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (batchDepth_ > 0) --batchDepth_;
}

std::u16string DriveMap::QueryDriveDevice(std::u16string_view drive) {
  if (drive.empty()) return {};
  return QueryLetter(system_, drive[0]);
}

}  // namespace VyrUtilities
