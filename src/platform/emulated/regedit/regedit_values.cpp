#include "platform/emulated/regedit/regedit_values.h"

#include "platform/win32_types.h"

namespace Emulated {

using namespace Platform;

namespace {

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// What may follow the data on its line: blanks and a comment.
bool OnlyTrailer(std::u16string_view rest) {
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == u';') return true;
    if (rest[i] != u' ' && rest[i] != u'\t') return false;
  }
  return true;
}

// 1 to 8 hex digits; the number and how many characters it took.
bool ParseHexNumber(std::u16string_view text, uint32_t* value, size_t* used) {
  uint32_t number = 0;
  size_t i = 0;
  for (; i < text.size() && i < 8 && HexDigit(text[i]) >= 0; ++i) {
    number = number << 4 | static_cast<uint32_t>(HexDigit(text[i]));
  }
  if (i == 0 || (i < text.size() && HexDigit(text[i]) >= 0)) return false;
  *value = number;
  *used = i;
  return true;
}

// "xx,xx,..." with blanks allowed around the bytes; an empty list is no data.
bool ParseByteList(std::u16string_view text, std::vector<uint8_t>* data, std::u16string* problem) {
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  };
  skipBlanks();
  while (i < text.size() && text[i] != u';') {
    const int high = HexDigit(text[i]);
    const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
    if (high < 0) {
      *problem = u"bad byte in hex data";
      return false;
    }
    data->push_back(static_cast<uint8_t>(low < 0 ? high : high << 4 | low));
    i += low < 0 ? 1 : 2;
    skipBlanks();
    if (i < text.size() && text[i] == u',') {
      ++i;
      skipBlanks();
    } else if (i < text.size() && text[i] != u';') {
      *problem = u"expected \",\" between hex bytes";
      return false;
    }
  }
  return true;
}

bool ParseHex(std::u16string_view text, RegistryEdit* edit, std::u16string* problem) {
  text.remove_prefix(3);  // "hex"
  edit->type = kRegBinary;
  if (!text.empty() && text.front() == u'(') {
    size_t used = 0;
    if (!ParseHexNumber(text.substr(1), &edit->type, &used) || 1 + used >= text.size() ||
        text[1 + used] != u')') {
      *problem = u"bad type in hex(...)";
      return false;
    }
    text.remove_prefix(used + 2);
  }
  if (text.empty() || text.front() != u':') {
    *problem = u"expected \":\" after hex";
    return false;
  }
  return ParseByteList(text.substr(1), &edit->data, problem);
}

}  // namespace

bool ParseQuoted(std::u16string_view text, std::u16string* out, size_t* used) {
  std::u16string result;
  for (size_t i = 1; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'"') {
      *out = std::move(result);
      *used = i + 1;
      return true;
    }
    // Only \\ and \" are escapes; any other backslash is kept, as regedit keeps it.
    if (c == u'\\' && i + 1 < text.size() && (text[i + 1] == u'\\' || text[i + 1] == u'"')) {
      ++i;
    }
    result.push_back(text[i]);
  }
  return false;
}

bool ParseValueData(std::u16string_view text, RegistryEdit* edit, std::u16string* problem) {
  edit->kind = RegistryEdit::Kind::kSetValue;
  if (text.starts_with(u"-") && OnlyTrailer(text.substr(1))) {
    edit->kind = RegistryEdit::Kind::kDeleteValue;
    return true;
  }
  if (text.starts_with(u"\"")) {
    std::u16string value;
    size_t used = 0;
    if (!ParseQuoted(text, &value, &used) || !OnlyTrailer(text.substr(used))) {
      *problem = u"string value without closing quote";
      return false;
    }
    edit->type = kRegSz;
    edit->data = RegistryStringData(value);
    return true;
  }
  if (text.starts_with(u"dword:")) {
    uint32_t number = 0;
    size_t used = 0;
    if (!ParseHexNumber(text.substr(6), &number, &used) || !OnlyTrailer(text.substr(6 + used))) {
      *problem = u"dword: needs 1 to 8 hex digits";
      return false;
    }
    edit->type = kRegDword;
    edit->data = RegistryDwordData(number);
    return true;
  }
  if (text.starts_with(u"hex")) return ParseHex(text, edit, problem);
  *problem = u"unknown value data";
  return false;
}

}  // namespace Emulated
