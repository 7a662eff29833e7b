#include "util/text_routines.h"
#include <cstdint>

namespace VyrUtilities {

namespace {

bool IsTrimmed(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }

}  // namespace

char16_t FoldAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? c - (u'a' - u'A') : c; }

std::u16string Trim(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsTrimmed(text[begin])) ++begin;
  while (end > begin && IsTrimmed(text[end - 1])) --end;
  return std::u16string(text.substr(begin, end - begin));
}

void Split(std::u16string_view text, char16_t delimiter, std::vector<std::u16string>& list,
           int maxPieces) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (maxPieces >= 0 && list.size() >= static_cast<size_t>(maxPieces)) break;
    if (text[i] != delimiter) continue;
    list.emplace_back(text.substr(start, i - start));
    start = i + 1;
  }
  list.emplace_back(text.substr(start));
}

std::u16string ToUpper(std::u16string_view text) {
  std::u16string result(text);
  for (char16_t& c : result) c = FoldAscii(c);
  return result;
}

std::u16string ToLower(std::u16string_view text) {
  std::u16string result(text);
  for (char16_t& c : result) c = LowerAscii(c);
  return result;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix, bool caseSensitive) {
  if (prefix.size() > text.size()) return false;
  std::u16string_view head = text.substr(0, prefix.size());
  return caseSensitive ? head == prefix : EqualsIgnoreCase(head, prefix);
}

bool IsDigits(std::u16string_view text) {
  for (char16_t c : text) {
    if ((c < u'0' || c > u'9') && c != u'-') return false;
  }
  return true;
}

int64_t DecimalValue(std::u16string_view text) {
  size_t at = 0;
  while (at < text.size() && (text[at] == u' ' || (text[at] >= u'\t' && text[at] <= u'\r'))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) negative = text[at++] == u'-';
  constexpr int64_t kLargest = INT64_MAX;
  int64_t value = 0;
  for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
    const int digit = text[at] - u'0';
    value = value > (kLargest - digit) / 10 ? kLargest : value * 10 + digit;
  }
  return negative ? -value : value;
}

std::u16string ToHex(const uint8_t* bytes, size_t count, std::u16string_view separator) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string result;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) result += separator;
    result += kDigits[bytes[i] >> 4];
    result += kDigits[bytes[i] & 0x0F];
  }
  return result;
}

std::u16string IntToText(int64_t value, int radix) {
  if (radix < 2 || radix > 36) return {};
  static constexpr char16_t kDigits[] = u"0123456789abcdefghijklmnopqrstuvwxyz";
  // Like the C runtime's integer-to-text routines: only decimal numbers carry a
  // sign; other radices show the two's-complement bits.
  bool negative = radix == 10 && value < 0;
  uint64_t rest = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::u16string digits;
  do {
    digits.insert(digits.begin(), kDigits[rest % static_cast<uint64_t>(radix)]);
    rest /= static_cast<uint64_t>(radix);
  } while (rest != 0);
  return negative ? u"-" + digits : digits;
}

}  // namespace VyrUtilities
