#include "platform/emulated/files/file_short_name.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace Emulated {
namespace {

// Characters allowed in an 8.3 name besides letters and digits.
bool IsShortNameSpecial(char16_t c) {
  return std::u16string_view(u"!#$%&'()-@^_`{}~").find(c) != std::u16string_view::npos;
}

bool IsShortNameUnit(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         IsShortNameSpecial(c);
}

// Upper case, with characters that 8.3 cannot hold turned into "_" as Windows does
// (the file system maps through the OEM code page; outside ASCII we keep "_").
std::u16string ShortNameText(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == u' ' || c == u'.') continue;
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    out.push_back(IsShortNameUnit(c) ? c : u'_');
  }
  return out;
}

}  // namespace

bool IsShortNameCompliant(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") return !name.empty();
  const size_t dot = name.find(u'.');
  const std::u16string_view base = name.substr(0, dot);
  const std::u16string_view ext =
      dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::u16string_view::npos && ext.empty()) return false;
  for (char16_t c : base) {
    if (!IsShortNameUnit(c)) return false;
  }
  for (char16_t c : ext) {
    if (!IsShortNameUnit(c)) return false;
  }
  return true;
}

// Base: the name before its last dot, cleaned, first six characters (fewer as the
// tail grows); extension: the first three cleaned characters after the last dot.
// Past "~9" the base shrinks to keep eight characters ("PROGR~10"); Windows switches
// to a hashed base after four collisions, a form nothing of ours depends on.
std::u16string MakeShortName(std::u16string_view longName,
                             const std::function<bool(std::u16string_view)>& taken) {
  std::u16string_view trimmed = longName;
  while (!trimmed.empty() && trimmed.front() == u'.') trimmed.remove_prefix(1);
  const size_t dot = trimmed.rfind(u'.');
  std::u16string base = ShortNameText(trimmed.substr(0, dot));
  std::u16string ext = dot == std::u16string_view::npos ? u"" : ShortNameText(trimmed.substr(dot + 1));
  if (base.empty()) base = u"_";
  if (ext.size() > 3) ext.resize(3);
  for (uint32_t n = 1;; ++n) {
    std::u16string tail;
    for (uint32_t v = n; v > 0; v /= 10) tail.insert(tail.begin(), static_cast<char16_t>(u'0' + v % 10));
    tail.insert(tail.begin(), u'~');
    std::u16string candidate = base.substr(0, std::min<size_t>(base.size(), 8 - tail.size())) + tail;
    if (!ext.empty()) candidate += u"." + ext;
    if (!taken(candidate)) return candidate;
  }
}

}  // namespace Emulated
