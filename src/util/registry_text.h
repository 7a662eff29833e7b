#pragma once
// Text forms of raw registry string data (UTF-16LE bytes as the registry holds them).

#include <cstddef>
#include <cstdint>
#include <string>

namespace VyrUtilities {

// REG_MULTI_SZ data as one line: "\" doubled, each terminator between strings written
// as the two characters "\0"; two terminators in a row or the end of the data end it.
// a NUL b\c NUL NUL gives a\0b\\c.
std::u16string MultiStringToText(const uint8_t* data, size_t size);

// The characters of string data up to the first NUL unit or the end of the data.
// An odd last byte is ignored.
std::u16string CountedText(const uint8_t* data, size_t size);

}  // namespace VyrUtilities
