#include "platform/emulated/pe/pe_resources.h"

#include <algorithm>

namespace Emulated {
namespace {

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kVsVersionInfoId = 1;
constexpr uint32_t kSubdirectoryBit = 0x80000000u;
// More entries than any real file holds; a larger count is a damaged header.
constexpr uint32_t kMaxEntries = 4096;
// The block's own length field is 16 bits; anything far larger is not a version
// resource, and must not make us allocate whatever a damaged entry claims.
constexpr uint32_t kMaxVersionResource = 1u << 20;

struct ResourceEntry {
  uint32_t name = 0;    // an id, or the high bit set and the offset of a name string
  uint32_t target = 0;  // kSubdirectoryBit | offset of a directory, or a data entry
};

// The entries of the directory at offset (from the start of the resource section).
std::optional<std::vector<ResourceEntry>> ReadDirectory(const PeImage& image, uint32_t root,
                                                        uint32_t offset) {
  const auto header = image.ReadRva(root + offset, 16);
  if (!header) return std::nullopt;
  const uint32_t count = uint32_t{ReadLe16(*header, 12)} + ReadLe16(*header, 14);
  if (count == 0 || count > kMaxEntries) return std::nullopt;
  const auto table = image.ReadRva(root + offset + 16, count * 8);
  if (!table) return std::nullopt;
  std::vector<ResourceEntry> entries(count);
  for (uint32_t i = 0; i < count; ++i) entries[i] = {ReadLe32(*table, i * 8), ReadLe32(*table, i * 8 + 4)};
  return entries;
}

// The subdirectory of the entry with id.
std::optional<uint32_t> Subdirectory(const std::vector<ResourceEntry>& entries, uint32_t id) {
  const auto found =
      std::find_if(entries.begin(), entries.end(), [id](const ResourceEntry& e) { return e.name == id; });
  if (found == entries.end() || (found->target & kSubdirectoryBit) == 0) return std::nullopt;
  return found->target & ~kSubdirectoryBit;
}

std::optional<std::vector<uint8_t>> ReadDataEntry(const PeImage& image, uint32_t root, uint32_t offset) {
  const auto entry = image.ReadRva(root + offset, 16);
  if (!entry) return std::nullopt;
  const uint32_t size = ReadLe32(*entry, 4);
  if (size == 0 || size > kMaxVersionResource) return std::nullopt;
  return image.ReadRva(ReadLe32(*entry, 0), size);
}

}  // namespace

// The loader's order for a resource asked for without a language: the language-
// neutral copy, then the thread's user-interface language, then the system default
// language, then whatever the file lists first. (Its further fallbacks through the
// preferred-language lists and MUI satellite files have nothing to act on here: the
// machine has one language and no satellites.)
size_t ChooseResourceLanguage(std::span<const uint16_t> available, ResourceLanguages preferred) {
  for (uint16_t wanted : {uint16_t{0}, preferred.userInterface, preferred.systemDefault}) {
    const auto found = std::find(available.begin(), available.end(), wanted);
    if (found != available.end()) return static_cast<size_t>(found - available.begin());
  }
  return 0;
}

std::optional<std::vector<uint8_t>> FindVersionResource(const PeImage& image,
                                                        ResourceLanguages preferred) {
  const auto directory = image.Directory(kPeDirectoryResource);
  if (!directory || directory->virtualAddress == 0 || directory->size == 0) return std::nullopt;
  const uint32_t root = directory->virtualAddress;
  const auto types = ReadDirectory(image, root, 0);
  const auto namesAt = types ? Subdirectory(*types, kRtVersion) : std::nullopt;
  const auto names = namesAt ? ReadDirectory(image, root, *namesAt) : std::nullopt;
  // The block is asked for by the id VS_VERSION_INFO only, as Windows asks for it: a
  // version resource under another id or a name is not found there either.
  const auto languagesAt = names ? Subdirectory(*names, kVsVersionInfoId) : std::nullopt;
  const auto languages = languagesAt ? ReadDirectory(image, root, *languagesAt) : std::nullopt;
  if (!languages) return std::nullopt;
  std::vector<uint16_t> ids;
  for (const ResourceEntry& entry : *languages) ids.push_back(static_cast<uint16_t>(entry.name));
  const ResourceEntry& chosen = (*languages)[ChooseResourceLanguage(ids, preferred)];
  if ((chosen.target & kSubdirectoryBit) != 0) return std::nullopt;
  return ReadDataEntry(image, root, chosen.target);
}

}  // namespace Emulated
