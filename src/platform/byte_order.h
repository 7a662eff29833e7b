#pragma once
// Little-endian numbers and UTF-16LE text in byte buffers. Registry values, driver
// records, PE images, certificate stores and the service's own files all keep them so,
// whatever the byte order of the machine that reads them.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Whether `count` bytes start at `at` inside `bytes`; written so that a huge `at`
// or `count` cannot wrap around.
inline bool HasBytes(std::span<const uint8_t> bytes, size_t at, size_t count) {
  return at <= bytes.size() && count <= bytes.size() - at;
}

// The unsigned number of sizeof(T) bytes at `at`, least significant first. The
// caller has checked the bounds. Driver replies are decoded field by field, so a
// little-endian host loads each field at once.
template <typename T>
T ReadLe(std::span<const uint8_t> bytes, size_t at) {
  T value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, bytes.data() + at, sizeof(T));
  } else {
    for (size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(T{bytes[at + i]} << (8 * i));
  }
  return value;
}

inline uint16_t ReadLe16(std::span<const uint8_t> bytes, size_t at = 0) { return ReadLe<uint16_t>(bytes, at); }
inline uint32_t ReadLe32(std::span<const uint8_t> bytes, size_t at = 0) { return ReadLe<uint32_t>(bytes, at); }
inline uint64_t ReadLe64(std::span<const uint8_t> bytes, size_t at = 0) { return ReadLe<uint64_t>(bytes, at); }

// Appends the low `width` bytes of `value`, least significant first.
inline void AppendLe(std::vector<uint8_t>& out, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Writes the low `width` bytes of `value` at `at`, least significant first. The
// caller has made the room.
inline void WriteLe(std::span<uint8_t> bytes, size_t at, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The UTF-16 unit at `index` of text stored as UTF-16LE.
inline char16_t Utf16LeUnit(std::span<const uint8_t> bytes, size_t index) {
  return static_cast<char16_t>(ReadLe16(bytes, 2 * index));
}

// Copies `units` UTF-16LE units from `from` as native units to `to`. Record texts
// are copied on every event, so a little-endian host copies them whole.
inline void CopyUtf16LeUnits(const uint8_t* from, size_t units, char16_t* to) {
  if constexpr (std::endian::native == std::endian::little) {
    if (units != 0) std::memcpy(to, from, units * 2);
  } else {
    for (size_t i = 0; i < units; ++i) to[i] = static_cast<char16_t>(from[2 * i] | from[2 * i + 1] << 8);
  }
}

// Every whole unit of UTF-16LE text, NULs included; an odd last byte is dropped.
inline std::u16string Utf16LeText(std::span<const uint8_t> bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  CopyUtf16LeUnits(bytes.data(), text.size(), text.data());
  return text;
}

// UTF-16LE text up to its first NUL or its last whole unit.
inline std::u16string Utf16LeTextToNul(std::span<const uint8_t> bytes) {
  std::u16string text;
  for (size_t i = 0; i < bytes.size() / 2; ++i) {
    const char16_t unit = Utf16LeUnit(bytes, i);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

// Appends `text` as UTF-16LE, without a terminator.
inline void AppendUtf16Le(std::vector<uint8_t>& out, std::u16string_view text) {
  out.reserve(out.size() + 2 * text.size());
  for (char16_t unit : text) AppendLe(out, unit, 2);
}

inline std::vector<uint8_t> Utf16LeBytes(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  AppendUtf16Le(bytes, text);
  return bytes;
}

// `text` as UTF-16LE with its terminating NUL, the way string values are stored.
inline std::vector<uint8_t> Utf16LeBytesWithNul(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(2 * text.size() + 2);
  AppendUtf16Le(bytes, text);
  AppendLe(bytes, 0, 2);
  return bytes;
}

}  // namespace Platform
