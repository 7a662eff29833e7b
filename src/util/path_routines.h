#pragma once
// Paths, command lines, environment strings and shell folders.

#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"

namespace VyrUtilities {

// Cuts path at its last "\" into directory (without the "\") and name; extension is
// the text after the name's last "." and is left alone when the name has none; drive
// is the first character when the path's first ":" is its second character. Every
// output may be null. Always true.
bool SplitPath(std::u16string_view path, std::u16string* directory, std::u16string* name,
               std::u16string* extension, std::u16string* drive);

// path with its last `levels` components removed (a trailing "\" does not count);
// empty when the path has no more components than that.
std::u16string ParentPath(std::u16string_view path, int levels);

// Splits a command line the way Windows programs read theirs: backslashes count only
// before a double quote, quotes group, a caret outside quotes escapes the next
// character. Tokens are trimmed; empty ones are dropped. program and arguments are
// replaced.
void SplitCommandLine(std::u16string_view commandLine, std::u16string& program,
                      std::vector<std::u16string>& arguments);

// %NAME% references expanded; unknown names stay as written. The text comes back
// unchanged when the expansion fails or would not fit 260 characters.
std::u16string ExpandEnvironment(Platform::System& system, std::u16string_view text);

// The shell folder of the CSIDL (kCsidl* of win32_types.h); empty on failure.
std::u16string GetSpecialFolder(Platform::System& system, int csidl);

// oneLevel: the user's profile directory. Otherwise the directory that holds all
// profiles (C:\Users), also for a service running as LocalSystem.
std::u16string GetProfilesBase(Platform::System& system, bool oneLevel);

}  // namespace VyrUtilities
