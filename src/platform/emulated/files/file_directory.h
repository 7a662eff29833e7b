#pragma once
// One host folder seen as a Windows directory: its entries with the names, 8.3
// names, attributes, sizes and times that Windows would show. Companion files
// (metadata, streams) never appear.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/files/file_metadata.h"
#include "platform/file_system.h"

namespace Emulated {

struct DirectoryEntry {
  std::filesystem::path host;
  std::u16string longName;
  std::u16string shortName;  // empty when the long name already is an 8.3 name
  Platform::FileAttributeData info;
};

// Every entry of folder. Entries created through the machine carry the short name
// given at creation; the others (files placed in an image folder) get the one
// Windows would have given them, numbered in name order.
std::vector<DirectoryEntry> ListDirectory(const std::filesystem::path& folder);

// The entry of folder called name, by its long or its short name, ignoring ASCII
// case. matchedShort tells which one matched. shortName is not filled.
std::optional<DirectoryEntry> FindEntry(const std::filesystem::path& folder,
                                        std::u16string_view name, bool* matchedShort);

// Attributes, times and size of one host entry; nothing when it does not exist.
std::optional<Platform::FileAttributeData> ReadAttributeData(const std::filesystem::path& entry);

// The metadata entry has now: as stored, or as the host shows it for an entry that
// never had any (so that writing it back changes nothing visible).
FileMetadata CurrentMetadata(const std::filesystem::path& entry);

// The short name a new entry called longName gets in folder (empty when it needs none).
std::u16string NewShortName(const std::filesystem::path& folder, std::u16string_view longName);

}  // namespace Emulated
