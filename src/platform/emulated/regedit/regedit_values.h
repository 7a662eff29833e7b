#pragma once
// The value side of a regedit line: quoted names and strings, and the data forms
// after "=" (a string, dword:, hex:, hex(N):, or "-" to delete the value).

#include <string>
#include <string_view>

#include "platform/emulated/registry/registry_store.h"

namespace Emulated {

// text starts with the opening quote; out gets the unescaped text and used the
// number of characters up to and including the closing quote.
bool ParseQuoted(std::u16string_view text, std::u16string* out, size_t* used);

// Fills kind, type and data of edit from the text after "=" (continuations joined).
bool ParseValueData(std::u16string_view text, RegistryEdit* edit, std::u16string* problem);

}  // namespace Emulated
