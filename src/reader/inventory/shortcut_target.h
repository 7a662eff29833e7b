#pragma once
// The program a shell shortcut (.lnk) starts, read from the file's own bytes: the
// LinkInfo's local base path and common path suffix (Unicode where the shortcut
// holds them, else the ANSI ones), or else its relative path. Empty when the
// shortcut names no target or is not one.

#include <cstdint>
#include <span>
#include <string>

namespace Reader {

std::u16string ShortcutTarget(std::span<const uint8_t> bytes);

}  // namespace Reader
