#pragma once
// Reading "Windows Registry Editor Version 5.00" files into registry edits.
//
// Accepted: UTF-16LE with byte-order mark (what regedit writes) and UTF-8 with or
// without one; CR LF or LF line ends; [key], [-key], @= and "name"= with a quoted
// string (\\ and \" escapes), dword:, hex: and hex(N): byte lists continued over
// lines ending in "\", "name"=- deletions, ";" comments and blank lines.
//
// The whole file is read before anything is returned, so a malformed file yields no
// edits at all and a message "<file>:<line>: <what is wrong>".

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/registry/registry_store.h"

namespace Emulated {

// Asked for every [key] and [-key] line with the key's store path ("MACHINE\SOFTWARE\x");
// false with problem set refuses the file at that line. Lets a caller that knows which
// hives exist refuse keys that would have nowhere to go.
using RegeditKeyCheck =
    std::function<bool(std::u16string_view storePath, bool deleted, std::u16string* problem)>;

bool ParseRegedit(std::span<const uint8_t> bytes, std::u16string_view fileName,
                  std::u16string_view currentUserSid, std::vector<RegistryEdit>* edits,
                  std::u16string* error, const RegeditKeyCheck& check = {});

// The file's text: UTF-16LE after its byte-order mark, else UTF-8 (a UTF-8
// byte-order mark is dropped). False for UTF-16 text of an odd number of bytes.
bool DecodeRegeditText(std::span<const uint8_t> bytes, std::u16string* text);

}  // namespace Emulated
