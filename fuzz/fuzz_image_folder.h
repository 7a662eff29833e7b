#pragma once
// A machine image folder for the fuzz targets, made once per process, emptied
// before each input and removed when the process ends. It lives in /dev/shm when
// there is one: the targets write files for every input.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

// Never destroyed, so that the removal at exit can still read it.
inline const std::string& FuzzImageFolder() {
  static const std::string* const folder = [] {
    const std::filesystem::path base =
        std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = (base / "brumevale-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    return new std::string(pattern);
  }();
  static const bool removedAtExit = atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(*folder, ignored);
  }) == 0;
  (void)removedAtExit;
  return *folder;
}

inline void ResetFuzzImage() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(FuzzImageFolder(), ignored))
    std::filesystem::remove_all(entry.path(), ignored);
  std::filesystem::create_directories(FuzzImageFolder() + "/drives/C", ignored);
}

inline void WriteFuzzFile(const std::string& relative, std::string_view bytes) {
  const std::filesystem::path path = FuzzImageFolder() + "/" + relative;
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
