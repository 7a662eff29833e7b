#pragma once
// Small text routines shared by every subsystem. Case folding touches the ASCII
// letters A to Z only, the way registry and file names are compared everywhere in
// the system.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace VyrUtilities {

// Removes leading and trailing spaces, tabs, line feeds and carriage returns.
std::u16string Trim(std::u16string_view text);

// Appends the pieces of text cut at every delimiter, empty pieces included. With
// maxPieces >= 0, cutting stops once list holds that many entries; the rest of the
// text is always appended as the last piece.
void Split(std::u16string_view text, char16_t delimiter, std::vector<std::u16string>& list,
           int maxPieces = -1);

std::u16string ToUpper(std::u16string_view text);
std::u16string ToLower(std::u16string_view text);
char16_t FoldAscii(char16_t c);  // a..z become A..Z, everything else stays

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
bool StartsWith(std::u16string_view text, std::u16string_view prefix, bool caseSensitive);

// True when every character is a decimal digit or "-" (so the empty text is true).
bool IsDigits(std::u16string_view text);

// The decimal number the text starts with, as the C library's wide-string
// conversion reads it: leading white space and one sign are skipped, reading stops
// at the first other character, no digits read as 0 ("04" is 4, " 4x" is 4, "x" is
// 0). Values beyond 64 bits stop at the largest.
int64_t DecimalValue(std::u16string_view text);

// Each byte as two upper-case hex digits, separator between bytes.
std::u16string ToHex(const uint8_t* bytes, size_t count, std::u16string_view separator);

// The number in radix 2..36 (lower-case letters), "-" in front when negative.
std::u16string IntToText(int64_t value, int radix);

// The byte size as the Windows shell writes it for an en-US user: "1,023 bytes",
// "1.50 KB", "10.0 MB", "100 GB".
std::u16string FormatByteSize(uint64_t size);

}  // namespace VyrUtilities
