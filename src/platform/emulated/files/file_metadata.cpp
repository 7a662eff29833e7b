#include "platform/emulated/files/file_metadata.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/emulated/files/file_path.h"
#include "platform/text_encoding.h"

namespace Emulated {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kMetadataSuffix = "::meta";
// 100 ns ticks from 1601-01-01 to 1970-01-01.
constexpr int64_t kUnixEpochTicks = 116'444'736'000'000'000;

std::string HostName(const fs::path& entry) { return entry.filename().string(); }

// "owner=S-1-5-18", "protected=1" and one "ace=type,flags,mask,sid" line per entry.
void ReadSecurityLine(const std::string& key, const std::string& value, FileMetadata* metadata) {
  Platform::FileSecurity& security = metadata->security ? *metadata->security : metadata->security.emplace();
  if (key == "owner") security.ownerSid = Platform::Utf8ToUtf16(value);
  if (key == "protected") security.daclProtected = value == "1";
  if (key != "ace") return;
  std::istringstream fields(value);
  unsigned type = 0, flags = 0;
  uint32_t mask = 0;
  char comma = 0;
  std::string sid;
  if (fields >> type >> comma >> flags >> comma >> std::hex >> mask >> comma && std::getline(fields, sid)) {
    security.dacl.push_back({static_cast<uint8_t>(type), static_cast<uint8_t>(flags), mask,
                             Platform::Utf8ToUtf16(sid)});
  }
}

void WriteSecurityLines(const Platform::FileSecurity& security, std::ostringstream& text) {
  text << "owner=" << Platform::Utf16ToUtf8(security.ownerSid) << "\n"
       << "protected=" << (security.daclProtected ? 1 : 0) << "\n";
  for (const Platform::AccessEntry& entry : security.dacl) {
    text << "ace=" << unsigned{entry.type} << "," << unsigned{entry.flags} << "," << std::hex << entry.mask
         << std::dec << "," << Platform::Utf16ToUtf8(entry.sid) << "\n";
  }
}

}  // namespace

bool IsCompanionHostName(std::string_view hostName) {
  return hostName.find(':') != std::string_view::npos;
}

fs::path MetadataPath(const fs::path& entry) {
  return entry.parent_path() / (HostName(entry) + std::string(kMetadataSuffix));
}

fs::path StreamPath(const fs::path& entry, std::u16string_view stream) {
  const std::string prefix = HostName(entry) + ":";
  std::error_code error;
  for (const auto& sibling : fs::directory_iterator(entry.parent_path(), error)) {
    const std::string name = sibling.path().filename().string();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::u16string existing = Platform::Utf8ToUtf16(name.substr(prefix.size()));
    if (EqualsIgnoreAsciiCase(existing, stream)) return sibling.path();
  }
  return entry.parent_path() / (prefix + Platform::Utf16ToUtf8(stream));
}

std::vector<fs::path> CompanionPaths(const fs::path& entry) {
  const std::string prefix = HostName(entry) + ":";
  std::vector<fs::path> companions;
  std::error_code error;
  for (const auto& sibling : fs::directory_iterator(entry.parent_path(), error)) {
    const std::string name = sibling.path().filename().string();
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
      companions.push_back(sibling.path());
    }
  }
  return companions;
}

// One "key=value" line per field, UTF-8: readable when someone inspects an image.
// Most files have none: the miss is one failed open, without building a stream.
std::optional<FileMetadata> ReadMetadata(const fs::path& entry) {
  std::FILE* file = std::fopen(MetadataPath(entry).c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, read);
  std::fclose(file);
  FileMetadata metadata;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    const char* end = value.data() + value.size();
    if (key == "attributes") std::from_chars(value.data(), end, metadata.attributes, 16);
    if (key == "creation") std::from_chars(value.data(), end, metadata.creationTime);
    if (key == "short") metadata.shortName = Platform::Utf8ToUtf16(value);
    if (key == "owner" || key == "protected" || key == "ace") ReadSecurityLine(key, value, &metadata);
  }
  return metadata;
}

bool WriteMetadata(const fs::path& entry, const FileMetadata& metadata) {
  std::ofstream out(MetadataPath(entry), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  std::ostringstream text;
  text << "attributes=" << std::hex << metadata.attributes << std::dec << "\n"
       << "creation=" << metadata.creationTime << "\n";
  if (!metadata.shortName.empty()) text << "short=" << Platform::Utf16ToUtf8(metadata.shortName) << "\n";
  if (metadata.security) WriteSecurityLines(*metadata.security, text);
  out << text.str();
  return static_cast<bool>(out);
}

Platform::FileTime ToFileTime(fs::file_time_type time) {
  const auto system = fs::file_time_type::clock::to_sys(time);
  const int64_t ticks =
      std::chrono::duration_cast<std::chrono::nanoseconds>(system.time_since_epoch()).count() / 100;
  return static_cast<Platform::FileTime>(ticks + kUnixEpochTicks);
}

Platform::FileTime ToFileTime(int64_t seconds, int64_t nanoseconds) {
  return static_cast<Platform::FileTime>((seconds * 1'000'000'000 + nanoseconds) / 100 + kUnixEpochTicks);
}

fs::file_time_type FromFileTime(Platform::FileTime time) {
  const auto sinceUnix = std::chrono::nanoseconds((static_cast<int64_t>(time) - kUnixEpochTicks) * 100);
  const std::chrono::system_clock::time_point system(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceUnix));
  return fs::file_time_type::clock::from_sys(system);
}

}  // namespace Emulated
