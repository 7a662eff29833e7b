// Booting a machine image and writing its hives back.

#include <algorithm>
#include <filesystem>

#include "platform/emulated/processes/process_control.h"
#include "platform/emulated/regedit/regedit_export.h"
#include "platform/emulated/regedit/regedit_import.h"
#include "platform/emulated/registry/registry_store.h"
#include "platform/text_encoding.h"
#include "sim/hive_layout.h"
#include "sim/machine_image.h"

namespace Sim {

BootedImage::BootedImage(std::string folder, ImageManifest manifest)
    : folder_(std::move(folder)), manifest_(std::move(manifest)) {}

BootedImage::~BootedImage() = default;

std::unique_ptr<BootedImage> BootedImage::Boot(const std::string& folder, std::string* error,
                                               bool withoutDriver) {
  ImageManifest manifest;
  if (!ReadImageManifest(folder, &manifest, error)) return nullptr;
  if (withoutDriver) manifest.config.minifilterPresent = false;
  std::optional<HiveLayout> layout = HiveLayout::Make(folder, manifest, error);
  if (!layout) return nullptr;
  std::unique_ptr<BootedImage> image(new BootedImage(folder, std::move(manifest)));
  image->layout_ = std::make_unique<HiveLayout>(std::move(*layout));
  image->machine_ = std::make_unique<Emulated::Machine>(image->manifest_.config);
  if (!image->LoadHives(error) || !image->StartProcesses(error)) return nullptr;
  return image;
}

// Every key line of the file must fall in a hive of the layout; the file is
// remembered with the hives it held, so that Save puts them back where they were.
bool BootedImage::LoadHive(const HivePlace& place, std::string* error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(place.hostFile, ec)) {
    if (place.required) *error = place.hostFile + ": the hive file is missing";
    return !place.required;
  }
  HiveFile file{place.hostFile, {}};
  const auto check = [&](std::u16string_view storePath, bool deleted, std::u16string* problem) {
    const std::optional<size_t> hive = layout_->HiveOf(storePath, problem);
    if (!hive) return problem->empty();
    if (!deleted && std::find(file.hives.begin(), file.hives.end(), *hive) == file.hives.end())
      file.hives.push_back(*hive);
    return true;
  };
  std::u16string problem;
  if (!Emulated::ImportRegeditFile(machine_->RegistryState(), place.hostFile, &problem,
                                   place.currentUserSid, check)) {
    *error = place.hostFile + ": " + Platform::Utf16ToUtf8(problem);
    return false;
  }
  files_.push_back(std::move(file));
  return true;
}

// SOFTWARE and SYSTEM are required; every other hive file is loaded when the image
// has it. Users who are not logged on have no place in the layout, so their files
// stay untouched.
bool BootedImage::LoadHives(std::string* error) {
  for (const HivePlace& place : layout_->Places()) {
    if (!LoadHive(place, error)) return false;
  }
  return true;
}

bool BootedImage::HoldsAnything(const HivePlace& place) const {
  const auto tree = machine_->RegistryState().CopyTree(place.storePath);
  return tree && (!tree->values.empty() || !tree->subkeys.empty());
}

// The files read at boot keep the hives they held. A hive that no file held goes to
// its own place in the layout, but only once it holds something: an image without
// a DEFAULT.reg does not grow an empty one.
std::vector<BootedImage::HiveFile> BootedImage::SaveTargets() const {
  std::vector<HiveFile> targets = files_;
  const auto& places = layout_->Places();
  for (size_t hive = 0; hive < places.size(); ++hive) {
    const bool held = std::any_of(files_.begin(), files_.end(), [&](const HiveFile& file) {
      return std::find(file.hives.begin(), file.hives.end(), hive) != file.hives.end();
    });
    if (held || !HoldsAnything(places[hive])) continue;
    auto own = std::find_if(targets.begin(), targets.end(),
                            [&](const HiveFile& file) { return file.hostPath == places[hive].hostFile; });
    if (own == targets.end()) own = targets.insert(targets.end(), HiveFile{places[hive].hostFile, {}});
    own->hives.push_back(hive);
  }
  return targets;
}

// The file is written under a new name first and replaces the old one only when
// complete, so an interrupted save leaves the previous state readable.
bool BootedImage::WriteHiveFile(const HiveFile& file, std::string* error) const {
  std::vector<std::u16string> keyPaths;
  for (size_t hive : file.hives) keyPaths.push_back(layout_->Places()[hive].regeditPath);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(file.hostPath).parent_path(), ec);
  const std::string fresh = file.hostPath + ".new";
  if (!Emulated::ExportRegeditFile(machine_->RegistryState(), keyPaths, fresh)) {
    std::filesystem::remove(fresh, ec);
    *error = file.hostPath + ": cannot be written";
    return false;
  }
  std::filesystem::rename(fresh, file.hostPath, ec);
  if (ec) {
    *error = file.hostPath + ": " + ec.message();
    return false;
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
    launch.protectedProcess = process.protectedProcess;
    if (Emulated::StartProcess(*machine_, launch) == 0) {
      *error = folder_ + "/machine.json: process " + std::to_string(process.processId) +
               " cannot start: its id is taken";
      return false;
    }
  }
  return true;
}

// A file that held only deletions, or nothing, is left as it is.
bool BootedImage::Save(std::string* error) {
  for (const HiveFile& file : SaveTargets()) {
    if (!file.hives.empty() && !WriteHiveFile(file, error)) return false;
  }
  return true;
}

const Emulated::UserAccount* BootedImage::FindUser(std::u16string_view userName,
                                                   std::string* problem) const {
  for (const Emulated::UserAccount& user : manifest_.config.users) {
    if (Emulated::RegistryNamesEqual(user.name, userName) ||
        Emulated::RegistryNamesEqual(user.domain + u"\\" + user.name, userName))
      return &user;
  }
  *problem = "machine.json has no user \"" + Platform::Utf16ToUtf8(userName) + "\"";
  return nullptr;
}

bool BootedImage::LogOn(std::u16string_view userName, std::string* problem) {
  const Emulated::UserAccount* user = FindUser(userName, problem);
  if (user == nullptr) return false;
  if (layout_->IsLoggedOn(user->sid)) {
    *problem = Platform::Utf16ToUtf8(user->name) + " is logged on already";
    return false;
  }
  if (!layout_->LogOn(folder_, *user, problem)) return false;
  machine_->RegistryState().LoadUserHives(user->sid);
  for (size_t place : layout_->PlacesOf(user->sid)) {
    if (!LoadHive(layout_->Places()[place], problem)) return false;
  }
  return true;
}

// The user's hives are written first, to the files they came from or to their own
// places, and then leave the files' lists: a later Save must not write the empty
// hives over them.
bool BootedImage::LogOff(std::u16string_view userName, std::string* problem) {
  const Emulated::UserAccount* user = FindUser(userName, problem);
  if (user == nullptr) return false;
  if (!layout_->IsLoggedOn(user->sid)) {
    *problem = Platform::Utf16ToUtf8(user->name) + " is not logged on";
    return false;
  }
  const std::vector<size_t> hives = layout_->PlacesOf(user->sid);
  const auto isUsers = [&](size_t hive) { return std::find(hives.begin(), hives.end(), hive) != hives.end(); };
  for (const HiveFile& file : SaveTargets()) {
    if (std::any_of(file.hives.begin(), file.hives.end(), isUsers) && !WriteHiveFile(file, problem)) return false;
  }
  for (HiveFile& file : files_) std::erase_if(file.hives, isUsers);
  std::erase_if(files_, [](const HiveFile& file) { return file.hives.empty(); });
  machine_->RegistryState().UnloadUserHives(user->sid);
  layout_->LogOff(user->sid);
  return true;
}

}  // namespace Sim
