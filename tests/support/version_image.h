#pragma once
// Version blocks and PE images built byte by byte, in the layouts the resource
// compiler and the linker write, for cases no real file at hand shows.

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

// A VS_VERSIONINFO node: the same layout the resource compiler writes.
inline std::vector<uint8_t> Node(std::u16string_view key, uint16_t type, std::vector<uint8_t> value,
                          uint16_t valueLength, const std::vector<std::vector<uint8_t>>& children = {}) {
  std::vector<uint8_t> node(6);
  for (char16_t c : key) node.insert(node.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  node.insert(node.end(), {0, 0});
  node.resize((node.size() + 3) & ~size_t{3});
  node.insert(node.end(), value.begin(), value.end());
  for (const auto& child : children) {
    node.resize((node.size() + 3) & ~size_t{3});
    node.insert(node.end(), child.begin(), child.end());
  }
  node[0] = static_cast<uint8_t>(node.size());
  node[1] = static_cast<uint8_t>(node.size() >> 8);
  node[2] = static_cast<uint8_t>(valueLength);
  node[4] = static_cast<uint8_t>(type);
  return node;
}

inline std::vector<uint8_t> Utf16(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  return bytes;
}

inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { b[at] = v & 0xFF; b[at + 1] = v >> 8; }
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// A PE32 image whose one section holds the RT_VERSION resource VS_VERSION_INFO in
// each language given (at most three), with that language's block (at most 0x300
// bytes each).
inline std::vector<uint8_t> ImageWithVersionBlocks(const std::vector<std::pair<uint16_t, std::vector<uint8_t>>>& blocks) {
  constexpr uint32_t kSection = 0x200, kRva = 0x1000;
  constexpr uint32_t kSize = 0x1000, kSlot = 0x300;
  std::vector<uint8_t> b(kSection + kSize);
  const size_t count = std::min<size_t>(blocks.size(), 3);
  b[0] = 'M', b[1] = 'Z', b[0x3C] = 0x40;
  Put32(b, 0x40, 0x4550);
  Put16(b, 0x44, 0x14C), Put16(b, 0x46, 1), Put16(b, 0x54, 224);
  Put16(b, 0x58, 0x10B), Put32(b, 0x58 + 60, kSection), Put32(b, 0x58 + 92, 16);
  Put32(b, 0x58 + 112, kRva), Put32(b, 0x58 + 116, kSize);                // resource directory
  Put32(b, 0x138 + 8, kSize), Put32(b, 0x138 + 12, kRva);                // section: sizes, address
  Put32(b, 0x138 + 16, kSize), Put32(b, 0x138 + 20, kSection);           // file data
  const uint32_t r = kSection;
  Put16(b, r + 14, 1), Put32(b, r + 16, 16), Put32(b, r + 20, 0x80000018);         // RT_VERSION
  Put16(b, r + 0x18 + 14, 1), Put32(b, r + 0x28, 1), Put32(b, r + 0x2C, 0x80000030);  // id 1
  Put16(b, r + 0x30 + 14, static_cast<uint16_t>(count));
  for (size_t i = 0; i < count; ++i) {
    const auto& [language, version] = blocks[i];
    const uint32_t entry = static_cast<uint32_t>(0x60 + 16 * i), at = static_cast<uint32_t>(0x100 + kSlot * i);
    Put32(b, r + 0x40 + 8 * i, language), Put32(b, r + 0x44 + 8 * i, entry);
    Put32(b, r + entry, kRva + at), Put32(b, r + entry + 4, static_cast<uint32_t>(version.size()));
    std::copy(version.begin(), version.begin() + std::min<size_t>(version.size(), kSlot), b.begin() + r + at);
  }
  return b;
}

