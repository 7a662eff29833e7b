#pragma once
// Writing and reading the files of a test image on the host, byte for byte.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace SimTest {

inline void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string Read(const std::filesystem::path& path) {
  std::stringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

}  // namespace SimTest
