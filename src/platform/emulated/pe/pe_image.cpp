#include "platform/emulated/pe/pe_image.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"

namespace Emulated {
namespace {

constexpr uint16_t kDosMagic = 0x5A4D;            // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;     // "PE\0\0"
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint32_t kSectionHeaderSize = 40;
// The loader refuses more; a larger count only means a damaged header.
constexpr uint16_t kMaxSections = 96;
constexpr uint32_t kMaxDirectories = 16;

}  // namespace

uint16_t ReadLe16(std::span<const uint8_t> bytes, size_t at) {
  if (at + 2 > bytes.size()) return 0;
  return Platform::ReadLe16(bytes, at);
}

uint32_t ReadLe32(std::span<const uint8_t> bytes, size_t at) {
  if (at + 4 > bytes.size()) return 0;
  return Platform::ReadLe32(bytes, at);
}

ByteSource MemorySource(std::span<const uint8_t> bytes) {
  return [bytes](uint64_t offset, std::span<uint8_t> out) {
    if (offset > bytes.size() || out.size() > bytes.size() - offset) return false;
    if (out.empty()) return true;  // an image without sections reads nothing
    std::memcpy(out.data(), bytes.data() + offset, out.size());
    return true;
  };
}

std::optional<PeImage> PeImage::Open(ByteSource source, uint64_t fileSize) {
  PeImage image(std::move(source), fileSize);
  if (!image.ReadHeaders()) return std::nullopt;
  return image;
}

bool PeImage::Read(uint64_t offset, std::span<uint8_t> out) const {
  if (offset > fileSize_ || out.size() > fileSize_ - offset) return false;
  return source_(offset, out);
}

bool PeImage::ReadHeaders() {
  uint8_t dos[64];
  if (!Read(0, dos) || ReadLe16(dos, 0) != kDosMagic) return false;
  const uint32_t peOffset = ReadLe32(dos, 0x3C);
  uint8_t coff[4 + kCoffHeaderSize];
  if (!Read(peOffset, coff) || ReadLe32(coff, 0) != kPeSignature) return false;
  const uint16_t sectionCount = ReadLe16(coff, 6);
  const uint16_t optionalSize = ReadLe16(coff, 20);
  const uint64_t optionalOffset = uint64_t{peOffset} + sizeof(coff);
  return ReadOptionalHeader(optionalOffset, optionalSize) &&
         ReadSections(optionalOffset + optionalSize, sectionCount);
}

bool PeImage::ReadOptionalHeader(uint64_t offset, uint16_t size) {
  std::vector<uint8_t> header(size);
  if (size < 2 || !Read(offset, header)) return false;
  const uint16_t magic = ReadLe16(header, 0);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return false;
  pe32Plus_ = magic == kPe32PlusMagic;
  headersSize_ = ReadLe32(header, 60);
  const size_t countAt = pe32Plus_ ? 108 : 92;
  const size_t firstAt = countAt + 4;
  if (firstAt > size) return false;
  const uint32_t fit = static_cast<uint32_t>((size - firstAt) / 8);
  const uint32_t count = std::min({ReadLe32(header, countAt), fit, kMaxDirectories});
  for (uint32_t i = 0; i < count; ++i)
    directories_.push_back({ReadLe32(header, firstAt + i * 8), ReadLe32(header, firstAt + i * 8 + 4)});
  return true;
}

bool PeImage::ReadSections(uint64_t offset, uint16_t count) {
  if (count > kMaxSections) return false;
  std::vector<uint8_t> table(size_t{count} * kSectionHeaderSize);
  if (!Read(offset, table)) return false;
  for (uint16_t i = 0; i < count; ++i) {
    const size_t at = size_t{i} * kSectionHeaderSize;
    sections_.push_back({ReadLe32(table, at + 12), ReadLe32(table, at + 8), ReadLe32(table, at + 16),
                         ReadLe32(table, at + 20)});
  }
  return true;
}

std::optional<PeDataDirectory> PeImage::Directory(uint32_t index) const {
  if (index >= directories_.size()) return std::nullopt;
  return directories_[index];
}

std::optional<uint64_t> PeImage::RvaToOffset(uint32_t rva, uint32_t size) const {
  const uint64_t end = uint64_t{rva} + size;
  if (end <= headersSize_) return rva;
  for (const Section& section : sections_) {
    // The loader maps the file data up to the section's virtual size (all of it when
    // a linker left that size 0); the rest is zero-filled memory, not file bytes.
    const uint64_t start = section.virtualAddress;
    const uint32_t mapped =
        section.virtualSize == 0 ? section.rawSize : std::min(section.virtualSize, section.rawSize);
    const uint64_t fileBacked = start + mapped;
    if (rva >= start && end <= fileBacked) return uint64_t{section.rawOffset} + (rva - start);
  }
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> PeImage::ReadRva(uint32_t rva, uint32_t size) const {
  const auto offset = RvaToOffset(rva, size);
  if (!offset) return std::nullopt;
  std::vector<uint8_t> bytes(size);
  if (!Read(*offset, bytes)) return std::nullopt;
  return bytes;
}

}  // namespace Emulated
