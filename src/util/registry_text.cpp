#include "util/registry_text.h"

namespace VyrUtilities {

namespace {

// Registry data is UTF-16LE whatever the host's byte order.
char16_t UnitAt(const uint8_t* data, size_t index) {
  return static_cast<char16_t>(data[2 * index] | (data[2 * index + 1] << 8));
}

}  // namespace

std::u16string MultiStringToText(const uint8_t* data, size_t size) {
  std::u16string text;
  bool afterTerminator = false;
  size_t units = data == nullptr ? 0 : size / 2;
  for (size_t i = 0; i < units; ++i) {
    char16_t c = UnitAt(data, i);
    if (c == 0) {
      if (afterTerminator) break;
      afterTerminator = true;
      continue;
    }
    // The separator is written only once the next string begins, so a list ends
    // without a dangling "\0".
    if (afterTerminator) text += u"\\0";
    afterTerminator = false;
    text += c;
    if (c == u'\\') text += u'\\';
  }
  return text;
}

std::u16string CountedText(const uint8_t* data, size_t size) {
  std::u16string text;
  size_t units = data == nullptr ? 0 : size / 2;
  for (size_t i = 0; i < units; ++i) {
    char16_t c = UnitAt(data, i);
    if (c == 0) break;
    text += c;
  }
  return text;
}

}  // namespace VyrUtilities
