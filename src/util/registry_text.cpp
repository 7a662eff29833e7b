#include "util/registry_text.h"

#include "platform/byte_order.h"

namespace VyrUtilities {

std::u16string MultiStringToText(const uint8_t* data, size_t size) {
  std::u16string text;
  bool afterTerminator = false;
  size_t units = data == nullptr ? 0 : size / 2;
  for (size_t i = 0; i < units; ++i) {
    char16_t c = Platform::Utf16LeUnit({data, size}, i);
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
  if (data == nullptr) return {};
  return Platform::Utf16LeTextToNul({data, size});
}

}  // namespace VyrUtilities
