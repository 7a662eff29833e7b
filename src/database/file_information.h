#pragma once
// What is known about one process image when it is recorded as a Processes row.
// The file-information code fills it; the database only writes it out, so the
// record lives at the lower layer.

#include <array>
#include <cstdint>
#include <string>

namespace Database {

struct FileInformation {
  static constexpr int kVersionStringCount = 10;

  // 1 when a version resource was read.
  uint32_t versionInformation = 0;
  uint32_t fileSizeHigh = 0;
  uint32_t fileSizeLow = 0;
  // Local time as MM/DD/YYYY HH:MM:SS.
  std::u16string creationTime;
  std::u16string lastWriteTime;
  std::u16string lastAccessTime;
  // Long absolute path and its file-name part, both lower case (A to Z only).
  std::u16string fullPath;
  std::u16string fileName;
  // Text after the last "." of the file name (the whole name when it has none).
  std::u16string extension;
  // FileVersion, FileDescription, LegalCopyright, Comments, CompanyName,
  // InternalName, LegalTrademarks, OriginalFilename, ProductName, ProductVersion.
  std::array<std::u16string, kVersionStringCount> versionStrings;

  // An index outside 0 to 9 reads as the empty text.
  const std::u16string& VersionString(int index) const {
    static const std::u16string kEmpty;
    return index >= 0 && index < kVersionStringCount ? versionStrings[index] : kEmpty;
  }
  uint64_t FileSize() const { return (uint64_t{fileSizeHigh} << 32) | fileSizeLow; }
};

}  // namespace Database
