#include "platform/emulated/processes/process_image.h"

#include <string>

namespace Emulated {
namespace {

char16_t UpperAscii(char16_t c) { return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c; }

}  // namespace

std::optional<std::u16string> ImageDeviceName(const MachineConfig& config,
                                              std::u16string_view imagePath) {
  if (imagePath.empty()) return std::u16string();
  if (imagePath.size() < 2 || imagePath[1] != u':') return std::nullopt;
  for (const DriveMapping& drive : config.drives) {
    if (UpperAscii(drive.letter) != UpperAscii(imagePath[0])) continue;
    std::u16string device = u"\\Device\\HarddiskVolume";
    for (char c : std::to_string(drive.volumeNumber)) device.push_back(static_cast<char16_t>(c));
    device.append(imagePath.substr(2));
    return device;
  }
  return std::nullopt;
}

std::u16string SnapshotExeName(const ProcessRecord& record) {
  if (record.processId == ProcessList::kIdleProcessId) return u"[System Process]";
  if (record.processId == ProcessList::kSystemProcessId) return u"System";
  const size_t slash = record.imagePath.find_last_of(u"\\/");
  return slash == std::u16string::npos ? record.imagePath : record.imagePath.substr(slash + 1);
}

}  // namespace Emulated
