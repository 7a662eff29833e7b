#include "platform/emulated/pe/version_block.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/emulated/pe/pe_image.h"

namespace Emulated {
namespace {

constexpr uint16_t kTextValue = 1;
constexpr size_t kNodeHeaderSize = 6;
// A real block nests four levels (root, StringFileInfo, table, string); a damaged one
// must not send the walk deeper than a query can name.
constexpr size_t kMaxDepth = 16;

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

struct VersionNode {
  size_t end = 0;  // one past the node's last byte
  std::u16string key;
  std::span<const uint8_t> value;
  size_t firstChild = 0;
};

std::optional<VersionNode> ReadNode(std::span<const uint8_t> block, size_t at, size_t limit) {
  const size_t length = ReadLe16(block, at);
  if (length < kNodeHeaderSize || at + length > limit) return std::nullopt;
  VersionNode node;
  node.end = at + length;
  size_t cursor = at + kNodeHeaderSize;
  for (; cursor + 2 <= node.end; cursor += 2) {
    const char16_t unit = ReadLe16(block, cursor);
    if (unit == 0) break;
    node.key.push_back(unit);
  }
  if (cursor + 2 > node.end) return std::nullopt;  // a key without its terminator
  const size_t valueAt = std::min(Align4(cursor + 2), node.end);
  const size_t declared = ReadLe16(block, at + 2) * (ReadLe16(block, at + 4) == kTextValue ? 2 : 1);
  const size_t valueSize = std::min(declared, node.end - valueAt);
  node.value = block.subspan(valueAt, valueSize);
  node.firstChild = Align4(valueAt + valueSize);
  return node;
}

bool SameKey(std::u16string_view a, std::u16string_view b) {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

std::optional<VersionNode> FindChild(std::span<const uint8_t> block, const VersionNode& parent,
                                     std::u16string_view key) {
  for (size_t at = parent.firstChild; at + kNodeHeaderSize <= parent.end;) {
    const auto child = ReadNode(block, at, parent.end);
    if (!child) return std::nullopt;
    if (SameKey(child->key, key)) return child;
    at = Align4(child->end);
  }
  return std::nullopt;
}

}  // namespace

bool QueryVersionValue(std::span<const uint8_t> block, std::u16string_view subBlock,
                       std::span<const uint8_t>* value) {
  auto node = ReadNode(block, 0, block.size());
  size_t depth = 0;
  while (node && !subBlock.empty()) {
    const size_t slash = subBlock.find(u'\\');
    const std::u16string_view component = subBlock.substr(0, slash);
    subBlock = slash == std::u16string_view::npos ? std::u16string_view() : subBlock.substr(slash + 1);
    if (component.empty()) continue;
    if (++depth > kMaxDepth) return false;
    node = FindChild(block, *node, component);
  }
  if (!node) return false;
  *value = node->value;
  return true;
}

}  // namespace Emulated
