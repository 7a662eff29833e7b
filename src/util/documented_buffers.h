#pragma once
// The one rule for "longer than the documented buffers". The service's documented
// readers held value data in 2048-byte buffers (the rescan's value reads, the
// driver record's data), so any text longer than such a buffer holds was never
// recorded by them. The service now stores such texts whole; a row carries no flag
// of its own, because its text's length says it: a stored text (COMMAND_LINE, an
// ExtendedEvent value, an entry name) of more than kDocumentedTextUnits UTF-16 units
// is over the documented buffers. The service and the reader both decide with the
// functions below, so the threshold lives only here.

#include <cstddef>
#include <string_view>

namespace VyrUtilities {

inline constexpr size_t kDocumentedValueBytes = 2048;
// The longest string such a buffer holds: 1023 units and the terminator.
inline constexpr size_t kDocumentedTextUnits = kDocumentedValueBytes / 2 - 1;

// Value names were read into 260-character buffers: 259 and the terminator.
inline constexpr size_t kDocumentedNameUnits = 259;

inline constexpr bool IsOverDocumentedBuffers(size_t textUnits) {
  return textUnits > kDocumentedTextUnits;
}

inline constexpr bool IsOverDocumentedBuffers(std::u16string_view text) {
  return IsOverDocumentedBuffers(text.size());
}

// The same for UTF-8 text (as a reader gets it from SQLite): counted in the UTF-16
// units it stands for, one per character and two for a four-byte sequence.
inline constexpr size_t Utf16UnitsOfUtf8(std::string_view text) {
  size_t units = 0;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++units;  // a lead byte or ASCII starts a character
    if ((byte & 0xF8) == 0xF0) ++units;  // a four-byte sequence is a surrogate pair
  }
  return units;
}

inline constexpr bool IsOverDocumentedBuffersUtf8(std::string_view text) {
  return IsOverDocumentedBuffers(Utf16UnitsOfUtf8(text));
}

inline constexpr bool IsNameOverDocumentedBuffersUtf8(std::string_view name) {
  return Utf16UnitsOfUtf8(name) > kDocumentedNameUnits;
}

}  // namespace VyrUtilities
