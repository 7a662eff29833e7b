// The shell's byte-size text for an en-US user. Sizes below 1024 are counted in
// plain bytes ("1023 bytes": the shell prints the count without grouping, unlike
// its kilobyte-only formatter); larger sizes use powers of 1024 and show three
// significant digits, cut (never rounded) so that a file of 1,023.9 KB never
// claims to be 1 MB. A unit is used while the number stays below 1000, which is
// why 1,000 KB already shows as 0.97 MB.

#include "util/text_routines.h"

namespace VyrUtilities {

namespace {

using Wide = unsigned __int128;  // size * 100 overflows 64 bits in the EB range

// value / divisor with the given number of decimals, truncated.
std::u16string Decimal(uint64_t value, Wide divisor, int decimals) {
  Wide scale = decimals == 2 ? 100 : decimals == 1 ? 10 : 1;
  uint64_t scaled = static_cast<uint64_t>(Wide(value) * scale / divisor);
  std::u16string digits = IntToText(static_cast<int64_t>(scaled), 10);
  if (decimals == 0) return digits;
  while (digits.size() <= static_cast<size_t>(decimals)) digits.insert(0, u"0");
  digits.insert(digits.size() - decimals, u".");
  return digits;
}

}  // namespace

std::u16string FormatByteSize(uint64_t size) {
  if (size < 1024) return IntToText(static_cast<int64_t>(size), 10) + u" bytes";
  static constexpr const char16_t* kUnits[] = {u" KB", u" MB", u" GB", u" TB", u" PB", u" EB"};
  Wide divisor = 1024;
  size_t unit = 0;
  while (unit + 1 < std::size(kUnits) && Wide(size) >= divisor * 1000) {
    divisor *= 1024;
    ++unit;
  }
  Wide whole = Wide(size) / divisor;
  int decimals = whole < 10 ? 2 : whole < 100 ? 1 : 0;
  return Decimal(size, divisor, decimals) + kUnits[unit];
}

}  // namespace VyrUtilities
