#pragma once
// A fresh host folder that holds one test machine's drive C, removed again with the
// object, and the machine configuration that maps it.

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/emulated/machine/machine_config.h"

class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "brumevale-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string String() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

inline Emulated::MachineConfig ConfigOnDrive(const std::filesystem::path& folder,
                                             Emulated::MachineConfig config = {}) {
  config.drives.push_back(Emulated::DriveMapping{u'C', folder.string(), 2});
  return config;
}
