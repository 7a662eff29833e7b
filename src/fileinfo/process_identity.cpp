#include "fileinfo/process_identity.h"

#include "platform/scoped_handle.h"

namespace FileInfo {

namespace {

constexpr uint32_t kImageCapacity = 260;

bool ReadOwner(Platform::Processes& processes, Platform::Handle process, std::u16string& owner) {
  std::u16string sid;
  if (processes.GetProcessOwnerSid(process, &sid) != Platform::kErrorSuccess) return false;
  std::u16string name;
  std::u16string domain;
  if (processes.LookupAccountSid(sid, &name, &domain) != Platform::kErrorSuccess) return false;
  owner = domain + u"\\" + name;
  return true;
}

// A protected process (services.exe, csrss.exe, lsass.exe under RunAsPPL) refuses
// read-control and the full query even to LocalSystem, yet it writes the service
// keys; it still grants the limited query, which names its image. Its owner stays
// unread.
bool OpenAndName(Platform::Processes& processes, uint32_t processId, Platform::ScopedProcess& process,
                 std::u16string& devicePath) {
  if (processes.OpenProcess(processId, Platform::kReadControl | Platform::kProcessQueryInformation,
                            process.Receive(processes)) == Platform::kErrorSuccess) {
    if (processes.GetProcessImageFileName(process.Get(), kImageCapacity, &devicePath) != Platform::kErrorSuccess)
      devicePath.clear();
    return true;
  }
  if (processes.OpenProcess(processId, Platform::kProcessQueryLimitedInformation, process.Receive(processes)) !=
      Platform::kErrorSuccess)
    return false;
  if (processes.QueryFullProcessImageName(process.Get(), Platform::kProcessNameNative, kImageCapacity,
                                          &devicePath) != Platform::kErrorSuccess)
    devicePath.clear();
  return true;
}

}  // namespace

bool GetProcessImageAndOwner(Platform::System& system, VyrUtilities::DriveMap& driveMap,
                             uint64_t processId, std::u16string& image, std::u16string& owner) {
  if (processId == 0 || processId == 4) {
    image = processId == 0 ? u"System Idle" : u"System";
    owner = u"SYSTEM";
    return true;
  }
  Platform::Processes& processes = system.Processes();
  std::u16string devicePath;
  bool ownerFound = false;
  Platform::ScopedProcess process;
  // Process ids are 32-bit on Windows; a larger id from a record names no process.
  if (processId <= UINT32_MAX && OpenAndName(processes, static_cast<uint32_t>(processId), process, devicePath))
    ownerFound = ReadOwner(processes, process.Get(), owner);
  image = devicePath.empty() ? std::u16string() : driveMap.DevicePathToDosPath(devicePath);
  return ownerFound;
}

}  // namespace FileInfo
