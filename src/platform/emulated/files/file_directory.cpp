#include "platform/emulated/files/file_directory.h"

#include <algorithm>
#include <set>

#include <sys/stat.h>

#include "platform/emulated/files/file_path.h"
#include "platform/emulated/files/file_short_name.h"
#include "platform/text_encoding.h"

namespace Emulated {
namespace fs = std::filesystem;
using Platform::FileAttributeData;

namespace {

struct RawEntry {
  fs::path host;
  std::u16string longName;
  std::optional<FileMetadata> metadata;
};

// withMetadata: also each entry's stored metadata, which only short names need; a
// lookup by long name reads it for the entry it finds.
std::vector<RawEntry> RawEntries(const fs::path& folder, bool withMetadata) {
  std::vector<RawEntry> entries;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(folder, error)) {
    const std::string name = item.path().filename().string();
    if (IsCompanionHostName(name)) continue;
    entries.push_back({item.path(), Platform::Utf8ToUtf16(name),
                       withMetadata ? ReadMetadata(item.path()) : std::nullopt});
  }
  return entries;
}

// Names an 8.3 lookup must not hand out twice: every stored short name and every
// long name that is itself an 8.3 name.
std::set<std::u16string> TakenShortNames(const std::vector<RawEntry>& entries) {
  std::set<std::u16string> taken;
  for (const auto& entry : entries) {
    if (IsShortNameCompliant(entry.longName)) taken.insert(FoldAscii(entry.longName));
    if (entry.metadata && !entry.metadata->shortName.empty()) {
      taken.insert(FoldAscii(entry.metadata->shortName));
    }
  }
  return taken;
}

std::u16string FoldedShortName(std::u16string_view longName, std::set<std::u16string>& taken) {
  std::u16string name = MakeShortName(longName, [&](std::u16string_view candidate) {
    return taken.count(std::u16string(candidate)) != 0;
  });
  taken.insert(name);
  return name;
}

}  // namespace

// One stat for kind, size and time: the file calls of every event come through here.
std::optional<FileAttributeData> ReadAttributeData(const fs::path& entry) {
  struct stat status {};
  if (::stat(entry.c_str(), &status) != 0) return std::nullopt;
  FileAttributeData data;
  const bool directory = S_ISDIR(status.st_mode);
  const auto metadata = ReadMetadata(entry);
  data.lastWriteTime = ToFileTime(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
  data.lastAccessTime = data.lastWriteTime;
  data.creationTime = metadata && metadata->creationTime != 0 ? metadata->creationTime
                                                              : data.lastWriteTime;
  // A file that never had its attributes set shows the archive bit, as a file
  // copied onto a Windows volume does.
  uint32_t attributes = metadata ? metadata->attributes
                                 : (directory ? 0 : Platform::kFileAttributeArchive);
  if (directory) attributes |= Platform::kFileAttributeDirectory;
  if (attributes == 0) attributes = Platform::kFileAttributeNormal;
  data.attributes = attributes;
  data.size = directory ? 0 : static_cast<uint64_t>(status.st_size);
  return data;
}

std::vector<DirectoryEntry> ListDirectory(const fs::path& folder) {
  std::vector<RawEntry> raw = RawEntries(folder, true);
  std::sort(raw.begin(), raw.end(), [](const RawEntry& a, const RawEntry& b) {
    return FoldAscii(a.longName) < FoldAscii(b.longName);
  });
  std::set<std::u16string> taken = TakenShortNames(raw);
  std::vector<DirectoryEntry> entries;
  for (const auto& item : raw) {
    auto info = ReadAttributeData(item.host);
    if (!info) continue;
    DirectoryEntry entry{item.host, item.longName, u"", *info};
    if (!IsShortNameCompliant(item.longName)) {
      entry.shortName = item.metadata && !item.metadata->shortName.empty()
                            ? item.metadata->shortName
                            : FoldedShortName(item.longName, taken);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::optional<DirectoryEntry> FindEntry(const fs::path& folder, std::u16string_view name,
                                        bool* matchedShort) {
  *matchedShort = false;
  // The name as written usually exists as such; only a miss needs the listing.
  const fs::path exact = folder / Platform::Utf16ToUtf8(name);
  if (auto info = ReadAttributeData(exact)) {
    return DirectoryEntry{exact, std::u16string(name), u"", *info};
  }
  for (const auto& item : RawEntries(folder, false)) {
    if (!EqualsIgnoreAsciiCase(item.longName, name)) continue;
    if (auto info = ReadAttributeData(item.host)) return DirectoryEntry{item.host, item.longName, u"", *info};
  }
  if (name.find(u'~') == std::u16string_view::npos) return std::nullopt;
  for (auto& entry : ListDirectory(folder)) {
    if (!entry.shortName.empty() && EqualsIgnoreAsciiCase(entry.shortName, name)) {
      *matchedShort = true;
      return entry;
    }
  }
  return std::nullopt;
}

FileMetadata CurrentMetadata(const fs::path& entry) {
  if (auto stored = ReadMetadata(entry)) return *stored;
  FileMetadata metadata;
  if (auto info = ReadAttributeData(entry)) {
    metadata.attributes = info->attributes & ~(Platform::kFileAttributeDirectory | Platform::kFileAttributeNormal);
    metadata.creationTime = info->creationTime;
  }
  return metadata;
}

std::u16string NewShortName(const fs::path& folder, std::u16string_view longName) {
  if (IsShortNameCompliant(longName)) return u"";
  std::set<std::u16string> taken;
  for (const auto& entry : ListDirectory(folder)) {
    taken.insert(FoldAscii(entry.shortName.empty() ? entry.longName : entry.shortName));
  }
  return FoldedShortName(longName, taken);
}

}  // namespace Emulated
