// Booting a machine image and writing its hives back.

#include <filesystem>

#include "platform/emulated/process_control.h"
#include "platform/emulated/regedit_export.h"
#include "platform/emulated/regedit_import.h"
#include "platform/emulated/registry_store.h"
#include "platform/text_encoding.h"
#include "sim/machine_image.h"

namespace Sim {
namespace {

constexpr char16_t kConfigFolder[] = u"C:\\Windows\\System32\\config\\";
constexpr char16_t kClassesFile[] = u"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.reg";

}  // namespace

BootedImage::BootedImage(std::string folder, ImageManifest manifest)
    : folder_(std::move(folder)), manifest_(std::move(manifest)) {}

std::unique_ptr<BootedImage> BootedImage::Boot(const std::string& folder, std::string* error) {
  ImageManifest manifest;
  if (!ReadImageManifest(folder, &manifest, error)) return nullptr;
  std::unique_ptr<BootedImage> image(new BootedImage(folder, std::move(manifest)));
  image->machine_ = std::make_unique<Emulated::Machine>(image->manifest_.config);
  if (!image->LoadHives(error) || !image->StartProcesses(error)) return nullptr;
  return image;
}

bool BootedImage::LoadHive(const Hive& hive, bool required, std::u16string_view userSid,
                           std::string* error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(hive.hostPath, ec)) {
    if (required) *error = hive.hostPath + ": the hive file is missing";
    return !required;
  }
  std::u16string problem;
  if (!Emulated::ImportRegeditFile(machine_->RegistryState(), hive.hostPath, &problem, userSid)) {
    *error = hive.hostPath + ": " + Platform::Utf16ToUtf8(problem);
    return false;
  }
  return true;
}

// SOFTWARE and SYSTEM are required (a Windows machine does not boot without them);
// DEFAULT is written back only when the image has one. A logged-on user without
// hive files is a fresh profile: the hives are created at the first save.
bool BootedImage::LoadHives(std::string* error) {
  auto at = [this](std::u16string_view path) { return ImageHostPath(folder_, path); };
  const std::u16string config = kConfigFolder;
  const Hive software{u"HKEY_LOCAL_MACHINE\\SOFTWARE", at(config + u"SOFTWARE.reg")};
  const Hive system{u"HKEY_LOCAL_MACHINE\\SYSTEM", at(config + u"SYSTEM.reg")};
  const Hive defaults{u"HKEY_USERS\\.DEFAULT", at(config + u"DEFAULT.reg")};
  if (!LoadHive(system, true, Emulated::kRegeditDefaultUser, error) ||
      !LoadHive(software, true, Emulated::kRegeditDefaultUser, error))
    return false;
  hives_ = {software, system};
  std::error_code ec;
  if (std::filesystem::is_regular_file(defaults.hostPath, ec)) {
    if (!LoadHive(defaults, true, Emulated::kRegeditDefaultUser, error)) return false;
    hives_.push_back(defaults);
  }
  for (const Emulated::UserAccount& user : manifest_.config.users) {
    if (!user.loggedOn) continue;
    machine_->RegistryState().LoadUserHives(user.sid);
    const Hive ntuser{u"HKEY_USERS\\" + user.sid, at(user.profilePath + u"\\NTUSER.reg")};
    const Hive classes{u"HKEY_USERS\\" + user.sid + u"_Classes", at(user.profilePath + kClassesFile)};
    if (!LoadHive(ntuser, false, user.sid, error) ||
        !LoadHive(classes, false, user.sid + u"_Classes", error))
      return false;
    hives_.push_back(ntuser);
    hives_.push_back(classes);
  }
  return true;
}

bool BootedImage::StartProcesses(std::string* error) {
  for (const ImageProcess& process : manifest_.processes) {
    Emulated::ProcessLaunch launch;
    launch.creator = {process.parentId.value_or(Emulated::ProcessList::kSystemProcessId), 0};
    launch.imagePath = process.image;
    launch.ownerSid = process.owner;
    launch.parentProcessId = process.parentId;
    launch.processId = process.processId;
    if (Emulated::StartProcess(*machine_, launch) == 0) {
      *error = folder_ + "/machine.json: process " + std::to_string(process.processId) +
               " cannot start: its id is taken";
      return false;
    }
  }
  return true;
}

// Each hive goes to a new file first and replaces the old one only when complete,
// so an interrupted save leaves the previous state readable.
bool BootedImage::Save(std::string* error) {
  for (const Hive& hive : hives_) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(hive.hostPath).parent_path(), ec);
    const std::string fresh = hive.hostPath + ".new";
    if (!Emulated::ExportRegeditFile(machine_->RegistryState(), hive.keyPath, fresh)) {
      *error = hive.hostPath + ": cannot be written";
      return false;
    }
    std::filesystem::rename(fresh, hive.hostPath, ec);
    if (ec) {
      *error = hive.hostPath + ": " + ec.message();
      return false;
    }
  }
  return true;
}

}  // namespace Sim
