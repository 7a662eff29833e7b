#include "platform/emulated/regedit/regedit_export.h"

#include <cstdio>
#include <fstream>

#include "platform/byte_order.h"
#include "platform/emulated/regedit/regedit_import.h"
#include "platform/emulated/regedit/regedit_roots.h"
#include "platform/emulated/registry/registry_store.h"
#include "platform/text_encoding.h"

namespace Emulated {

using namespace Platform;

namespace {

// regedit keeps hex lines within 80 columns, continuing with two blanks.
constexpr size_t kLineWidth = 80;

std::u16string Quoted(std::u16string_view text) {
  std::u16string out = u"\"";
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out += u'\\';
    out += c;
  }
  out += u'"';
  return out;
}

// A REG_SZ is written as text only when reading it back gives the same bytes: whole
// UTF-16 units, one terminator at the end, and no line break inside.
bool AsText(const RegistryValue& value, std::u16string* text) {
  const auto& data = value.data;
  if (value.type != kRegSz || data.size() < 2 || data.size() % 2 != 0) return false;
  std::u16string result;
  for (size_t i = 0; i + 2 < data.size(); i += 2) {
    const auto c = static_cast<char16_t>(Platform::ReadLe16(data, i));
    if (c == 0 || c == u'\r' || c == u'\n') return false;
    result += c;
  }
  if (data[data.size() - 2] != 0 || data[data.size() - 1] != 0) return false;
  *text = std::move(result);
  return true;
}

void AppendHex(std::u16string* out, std::u16string_view prefix, const std::vector<uint8_t>& data) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  *out += prefix;
  size_t column = prefix.size();
  for (size_t i = 0; i < data.size(); ++i) {
    const bool last = i + 1 == data.size();
    // "xx," plus the continuation "\" must fit the line.
    if (column + 3 + (last ? 0 : 1) > kLineWidth) {
      *out += u"\\\r\n  ";
      column = 2;
    }
    *out += kDigits[data[i] >> 4];
    *out += kDigits[data[i] & 0xF];
    if (!last) *out += u',';
    column += last ? 2 : 3;
  }
  *out += u"\r\n";
}

void AppendValue(std::u16string* out, const RegistryValue& value) {
  const std::u16string name = value.name.empty() ? u"@" : Quoted(value.name);
  std::u16string text;
  if (AsText(value, &text)) {
    *out += name + u"=" + Quoted(text) + u"\r\n";
  } else if (value.type == kRegDword && value.data.size() == 4) {
    const uint32_t number = Platform::ReadLe32(value.data);
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", number);
    *out += name + u"=dword:" + Utf8ToUtf16(digits) + u"\r\n";
  } else if (value.type == kRegBinary) {
    AppendHex(out, name + u"=hex:", value.data);
  } else {
    char type[12];
    std::snprintf(type, sizeof type, "%x", value.type);
    AppendHex(out, name + u"=hex(" + Utf8ToUtf16(type) + u"):", value.data);
  }
}

void AppendKey(std::u16string* out, const std::u16string& path, const RegistryTreeCopy& key) {
  *out += u"[" + path + u"]\r\n";
  for (const RegistryValue& value : key.values) AppendValue(out, value);
  *out += u"\r\n";
  for (const RegistryTreeCopy& child : key.subkeys) AppendKey(out, path + u"\\" + child.name, child);
}

std::vector<uint8_t> Encode(std::u16string_view text, bool utf16) {
  if (!utf16) {
    const std::string utf8 = Utf16ToUtf8(text);
    return std::vector<uint8_t>(utf8.begin(), utf8.end());
  }
  std::vector<uint8_t> bytes{0xFF, 0xFE};
  Platform::AppendUtf16Le(bytes, text);
  return bytes;
}

}  // namespace

std::vector<uint8_t> ExportRegedit(const RegistryStore& store,
                                   std::span<const std::u16string> keyPaths, bool utf16) {
  std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n";
  for (const std::u16string& keyPath : keyPaths) {
    std::u16string storePath;
    std::u16string problem;
    if (!RegeditKeyToStorePath(keyPath, kRegeditDefaultUser, &storePath, &problem)) continue;
    if (auto copy = store.CopyTree(storePath)) AppendKey(&text, keyPath, *copy);
  }
  return Encode(text, utf16);
}

std::vector<uint8_t> ExportRegedit(const RegistryStore& store, std::u16string_view keyPath,
                                   bool utf16) {
  const std::u16string one(keyPath);
  return ExportRegedit(store, std::span<const std::u16string>(&one, 1), utf16);
}

bool ExportRegeditFile(const RegistryStore& store, std::span<const std::u16string> keyPaths,
                       const std::string& hostPath, bool utf16) {
  const std::vector<uint8_t> bytes = ExportRegedit(store, keyPaths, utf16);
  std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

bool ExportRegeditFile(const RegistryStore& store, std::u16string_view keyPath,
                       const std::string& hostPath, bool utf16) {
  const std::u16string one(keyPath);
  return ExportRegeditFile(store, std::span<const std::u16string>(&one, 1), hostPath, utf16);
}

}  // namespace Emulated
