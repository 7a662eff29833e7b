#pragma once
// A fresh emulated machine per test, drive C on its own temporary host folder that
// is deleted again afterwards.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/emulated/machine/machine.h"
#include "platform/scoped_handle.h"
#include "support/temporary_folder.h"

namespace UtilTest {

using ::ConfigOnDrive;

class MachineTest : public ::testing::Test {
 protected:
  explicit MachineTest(int32_t utcOffsetMinutes = 0)
      : machine_(Config(folder_.Path(), utcOffsetMinutes)) {}

  // The view of an ordinary process of the machine.
  Platform::System& System() { return machine_.Process(kProcessId); }
  Platform::System& OtherProcess() { return machine_.Process(kProcessId + 4); }
  std::string HostFolder() const { return folder_.String(); }

  static constexpr uint32_t kProcessId = 1000;

 private:
  static Emulated::MachineConfig Config(const std::filesystem::path& folder, int32_t utcOffsetMinutes) {
    Emulated::MachineConfig config = ConfigOnDrive(folder);
    config.utcOffsetMinutes = utcOffsetMinutes;
    return config;
  }

  TemporaryFolder folder_;

 protected:
  Emulated::Machine machine_;
};

inline std::vector<uint8_t> Utf16Bytes(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

// Creates root\path and sets one value on it.
inline void SetValue(Platform::System& system, Platform::Handle root, std::u16string_view path,
                     std::u16string_view name, uint32_t type, const std::vector<uint8_t>& data) {
  Platform::Registry& registry = system.Registry();
  Platform::ScopedKey key;
  ASSERT_EQ(registry.CreateKey(root, path, Platform::kRegOptionNonVolatile,
                               Platform::kKeyAllAccess, key.Receive(registry), nullptr),
            Platform::kErrorSuccess);
  ASSERT_EQ(registry.SetValue(key.Get(), name, type, data), Platform::kErrorSuccess);
}

}  // namespace UtilTest
