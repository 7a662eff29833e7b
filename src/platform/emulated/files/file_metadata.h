#pragma once
// What the host file system cannot keep for a Windows file: its attributes, its
// creation time and its 8.3 name. They live beside the entry in a companion file,
// and alternate data streams live beside it the same way, so that both survive the
// process (a machine image reboots from its folder).
//
// Companions are named "<entry>:<stream>" for streams and "<entry>::meta" for the
// metadata. ":" cannot occur in a Windows file name, so a companion never collides
// with a real entry and listings simply skip every host name that holds one.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/win32_types.h"

namespace Emulated {

struct FileMetadata {
  uint32_t attributes = 0;  // kFileAttribute* without the directory bit
  Platform::FileTime creationTime = 0;
  std::u16string shortName;  // empty: none stored
  // Owner and DACL; none stored for an entry placed in an image folder from outside,
  // which then has what its folders pass on (file_security.h).
  std::optional<Platform::FileSecurity> security;
};

bool IsCompanionHostName(std::string_view hostName);
std::filesystem::path MetadataPath(const std::filesystem::path& entry);
// The host file that holds a stream of entry, matched ignoring ASCII case against
// the streams that exist; a new stream keeps the case given.
std::filesystem::path StreamPath(const std::filesystem::path& entry, std::u16string_view stream);
// Every companion of entry (metadata and streams): they move and go with it.
std::vector<std::filesystem::path> CompanionPaths(const std::filesystem::path& entry);

std::optional<FileMetadata> ReadMetadata(const std::filesystem::path& entry);
bool WriteMetadata(const std::filesystem::path& entry, const FileMetadata& metadata);

// Host clock values as FILETIME and back.
Platform::FileTime ToFileTime(std::filesystem::file_time_type time);
// The same from a host stat's seconds and nanoseconds since 1970.
Platform::FileTime ToFileTime(int64_t seconds, int64_t nanoseconds);
std::filesystem::file_time_type FromFileTime(Platform::FileTime time);

}  // namespace Emulated
