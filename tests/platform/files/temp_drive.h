#pragma once
// A machine whose drive C is a fresh host folder, removed with the fixture.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "platform/emulated/machine.h"

namespace FilesTest {

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("brumevale-files-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline Emulated::MachineConfig ConfigOnDrive(const std::filesystem::path& folder) {
  Emulated::MachineConfig config;
  config.drives.push_back({u'C', folder.string(), 2});
  return config;
}

}  // namespace FilesTest
