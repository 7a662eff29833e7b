#pragma once
// Writes a file on an emulated machine the way a program would: the folders that
// lead to it, then create, write and close through the given process's view.

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

#include "platform/file_system.h"
#include "platform/scoped_handle.h"

inline void WriteMachineFile(Platform::FileSystem& files, const std::u16string& path,
                             std::span<const uint8_t> bytes) {
  for (size_t slash = path.find(u'\\', 3); slash != std::u16string::npos;
       slash = path.find(u'\\', slash + 1)) {
    files.CreateDirectory(path.substr(0, slash));
  }
  Platform::ScopedFile file;
  ASSERT_EQ(files.CreateFile(path, Platform::kGenericWrite, 0, Platform::kCreateAlways,
                             Platform::kFileAttributeNormal, file.Receive(files)),
            Platform::kErrorSuccess);
  uint32_t written = 0;
  files.WriteFile(file.Get(), bytes, &written);
}
