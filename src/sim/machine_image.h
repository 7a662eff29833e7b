#pragma once
// A machine image: a folder with machine.json (the manifest) and drives/<letter>/
// holding each drive's files. The registry hives are regedit files at their Windows
// places (hive_layout.h). The drives are the machine's disks (files change in place
// while it runs); the hives are read at boot and written back by Save, so an image
// keeps its state from run to run.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/emulated/machine/machine.h"

namespace Sim {

class HiveLayout;
struct HivePlace;

struct ImageProcess {
  uint32_t processId = 0;
  std::optional<uint32_t> parentId;
  std::u16string image;
  std::u16string owner;
  bool protectedProcess = false;  // "protected": true
};

struct ImageManifest {
  // drives filled from the drives folder; "driver": false clears minifilterPresent
  Emulated::MachineConfig config;
  std::vector<ImageProcess> processes;
};

// Reads machine.json and finds the drives. False with "<file>: <problem>".
bool ReadImageManifest(const std::string& folder, ImageManifest* manifest, std::string* error);

// The host file that holds a Windows path of the image ("C:\Users\a\NTUSER.reg").
std::string ImageHostPath(const std::string& folder, std::u16string_view windowsPath);

class BootedImage {
 public:
  // Builds the machine, loads the hives and starts the image's processes. Nothing
  // in the folder is changed; on failure returns null with error naming the file.
  // withoutDriver plays the image as if its manifest said "driver": false.
  static std::unique_ptr<BootedImage> Boot(const std::string& folder, std::string* error,
                                           bool withoutDriver = false);
  ~BootedImage();

  Emulated::Machine& Machine() { return *machine_; }
  const ImageManifest& Manifest() const { return manifest_; }
  const std::string& Folder() const { return folder_; }

  // Writes every hive back: to each file that held keys of it at boot, and a hive
  // that no file held (a user's first logon, a service account's first write) to
  // its own place once it holds anything. False with the file that failed.
  bool Save(std::string* error);

  // A user of the manifest ("name" or "DOMAIN\name") logs on: the user's hives are
  // loaded from the image's files, as Windows loads NTUSER.DAT and UsrClass.dat. At
  // log-off they are written back to those files and unloaded. False with the
  // problem (no such user, already logged on or off, a hive file that is bad).
  bool LogOn(std::u16string_view userName, std::string* problem);
  bool LogOff(std::u16string_view userName, std::string* problem);

 private:
  // A hive file read at boot and the hives (indexes into the layout) whose keys it
  // held, in the order they first appeared: what Save writes into it.
  struct HiveFile {
    std::string hostPath;
    std::vector<size_t> hives;
  };

  BootedImage(std::string folder, ImageManifest manifest);
  bool LoadHives(std::string* error);
  bool LoadHive(const HivePlace& place, std::string* error);
  bool HoldsAnything(const HivePlace& place) const;
  std::vector<HiveFile> SaveTargets() const;
  bool WriteHiveFile(const HiveFile& file, std::string* error) const;
  bool StartProcesses(std::string* error);
  const Emulated::UserAccount* FindUser(std::u16string_view userName, std::string* problem) const;

  std::string folder_;
  ImageManifest manifest_;
  std::unique_ptr<Emulated::Machine> machine_;
  std::unique_ptr<HiveLayout> layout_;
  std::vector<HiveFile> files_;
};

}  // namespace Sim
