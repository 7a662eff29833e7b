#pragma once
// What the benchmarks that run the whole service on a machine image share: a
// working copy of the image, the image grown to many load points, and the
// process's CPU time and resident memory.

#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/scoped_handle.h"
#include "platform/system.h"

// The text after name when arg starts with it ("60" of "--seconds=60"), else null.
inline const char* OptionValue(const std::string& arg, const char* name) {
  const size_t length = std::strlen(name);
  return arg.compare(0, length, name) == 0 ? arg.c_str() + length : nullptr;
}

inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

inline double CurrentRssMb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

inline std::u16string BenchNumber(int i) {
  const std::string text = std::to_string(i);
  return std::u16string(text.begin(), text.end());
}

inline void SetBenchString(Platform::Registry& registry, uint32_t root, const std::u16string& path,
                           const std::u16string& name, const std::u16string& text) {
  Platform::ScopedKey key;
  registry.CreateKey(root, path, 0, Platform::kKeyAllAccess, key.Receive(registry), nullptr);
  registry.SetValue(key.Get(), name, Platform::kRegSz,
                    {reinterpret_cast<const uint8_t*>(text.c_str()), (text.size() + 1) * 2});
}

// Load points spread over four location families: Run values, WOW64 Run values,
// services and debugger redirections.
inline void AddLoadPoints(Platform::Registry& registry, int count) {
  const uint32_t hklm = Platform::kHkeyLocalMachine;
  for (int i = 0; i < count; ++i) {
    const std::u16string n = BenchNumber(i);
    const std::u16string command = u"\"C:\\Program Files\\Vendor\\app" + n + u".exe\" /background";
    switch (i % 4) {
      case 0: SetBenchString(registry, hklm, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", u"Entry" + n, command); break;
      case 1: SetBenchString(registry, hklm, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", u"Entry" + n, command); break;
      case 2: {
        const std::u16string path = u"SYSTEM\\ControlSet001\\Services\\Svc" + n;
        SetBenchString(registry, hklm, path, u"ImagePath", command);
        Platform::ScopedKey key;
        registry.OpenKey(hklm, path, Platform::kKeyAllAccess, key.Receive(registry));
        const uint32_t type = 16, start = 2;
        registry.SetValue(key.Get(), u"Type", Platform::kRegDword, {reinterpret_cast<const uint8_t*>(&type), 4});
        registry.SetValue(key.Get(), u"Start", Platform::kRegDword, {reinterpret_cast<const uint8_t*>(&start), 4});
        break;
      }
      default:
        SetBenchString(registry, hklm, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\app" + n + u".exe",
                       u"Debugger", command);
    }
  }
}

// A working copy of the image: the service writes its database onto drive C.
inline std::string CopyImage(const std::string& image, const std::string& name) {
  const auto copy = std::filesystem::temp_directory_path() / ("brumevale-" + name + "-" + std::to_string(getpid()));
  std::filesystem::remove_all(copy);
  std::filesystem::copy(image, copy, std::filesystem::copy_options::recursive);
  return copy.string();
}
