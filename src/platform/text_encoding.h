#pragma once
// UTF-16 <-> UTF-8 at the host boundary (host paths, JSON, console). The core keeps
// text as UTF-16; this is the one place where host text is converted. Unpaired
// surrogates and malformed bytes become U+FFFD.

#include <string>
#include <string_view>

namespace Platform {

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace Platform
