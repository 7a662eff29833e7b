#include "reader/inventory/shortcut_target.h"

#include "platform/byte_order.h"

namespace Reader {
namespace {

constexpr uint32_t kHeaderSize = 0x4C;
constexpr uint32_t kHasIdList = 0x1, kHasLinkInfo = 0x2, kHasName = 0x4, kHasRelativePath = 0x8,
                   kIsUnicode = 0x80;

struct Reader {
  std::span<const uint8_t> bytes;
  bool Has(size_t at, size_t size) const { return Platform::HasBytes(bytes, at, size); }
  uint32_t U16(size_t at) const { return Has(at, 2) ? Platform::ReadLe16(bytes, at) : 0; }
  uint32_t U32(size_t at) const { return Has(at, 4) ? Platform::ReadLe32(bytes, at) : 0; }
  // A null-terminated text at at: ANSI (taken as Latin-1) or UTF-16.
  std::u16string Text(size_t at, bool unicode) const {
    std::u16string out;
    for (size_t i = at; unicode ? Has(i, 2) : Has(i, 1); i += unicode ? 2 : 1) {
      const char16_t c = static_cast<char16_t>(unicode ? U16(i) : bytes[i]);
      if (c == 0) break;
      out += c;
    }
    return out;
  }
};

std::u16string FromLinkInfo(const Reader& r, size_t at) {
  const uint32_t size = r.U32(at), headerSize = r.U32(at + 4), flags = r.U32(at + 8);
  if (size < 0x1C || !r.Has(at, size) || (flags & 1) == 0) return u"";  // no local path
  const bool unicode = headerSize >= 0x24;
  const std::u16string base = unicode ? r.Text(at + r.U32(at + 0x1C), true) : r.Text(at + r.U32(at + 0x10), false);
  const std::u16string suffix = unicode ? r.Text(at + r.U32(at + 0x20), true) : r.Text(at + r.U32(at + 0x18), false);
  if (base.empty()) return u"";
  return suffix.empty() || base.ends_with(u'\\') ? base + suffix : base + u"\\" + suffix;
}

}  // namespace

std::u16string ShortcutTarget(std::span<const uint8_t> bytes) {
  const Reader r{bytes};
  if (r.U32(0) != kHeaderSize || !r.Has(0, kHeaderSize)) return u"";
  const uint32_t flags = r.U32(0x14);
  size_t at = kHeaderSize;
  if (flags & kHasIdList) at += 2 + r.U16(at);
  if (flags & kHasLinkInfo) {
    const std::u16string target = FromLinkInfo(r, at);
    if (!target.empty()) return target;
    at += r.U32(at);
  }
  // The string data: a name, then the relative path, each a count and its characters.
  const size_t unit = flags & kIsUnicode ? 2 : 1;
  if (flags & kHasName) at += 2 + r.U16(at) * unit;
  if ((flags & kHasRelativePath) == 0 || !r.Has(at, 2)) return u"";
  std::u16string relative;
  const uint32_t count = r.U16(at);
  for (uint32_t i = 0; i < count && r.Has(at + 2 + i * unit, unit); ++i) {
    relative += static_cast<char16_t>(unit == 2 ? r.U16(at + 2 + i * 2) : bytes[at + 2 + i]);
  }
  return relative;
}

}  // namespace Reader
