#pragma once
// Windows path and name routines of the emulated machine: ASCII case folding, the
// textual normalisation of GetFullPathName, splitting into components and streams,
// and the wildcard match of FindFirstFile. Pure text; no host access.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Emulated {

// Where a process stands when its record names no current directory: the directory
// a service started by the service control manager gets on Windows.
inline constexpr std::u16string_view kDefaultCurrentDirectory = u"C:\\Windows\\system32";

// Folds a to z onto A to Z and leaves every other unit alone, as every name
// comparison of the machine does.
std::u16string FoldAscii(std::u16string_view text);
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);

// GetFullPathName's text work: "/" becomes "\", runs of separators collapse, "." and
// ".." are resolved (never above the root), and the trailing dots and spaces of the
// last component go. A relative path is taken against currentDirectory ("C:\..."),
// a rooted one ("\x") against its drive. Empty input gives nothing.
std::optional<std::u16string> NormalizeFullPath(std::u16string_view path,
                                                std::u16string_view currentDirectory);

// "C:\a\b" -> {"a", "b"}; the drive letter is returned through drive (upper case).
// Nothing for a path that is not "<letter>:\..." or "<letter>:".
std::optional<std::vector<std::u16string>> SplitDrivePath(std::u16string_view fullPath,
                                                          char16_t* drive);

// "name:stream" or "name:stream:$DATA" -> name and stream; stream is empty when the
// component names the file itself. False for a malformed component ("a:b:c", an
// empty name, or a type other than $DATA).
bool SplitStream(std::u16string_view component, std::u16string* name, std::u16string* stream);

// Characters that a Windows file name may not hold (besides ":" for streams).
bool IsValidFileName(std::u16string_view name);

bool HasWildcards(std::u16string_view pattern);
// FindFirstFile matching, ignoring ASCII case: "*" any run, "?" one character;
// "*.*" matches every name, and "x.*" also matches "x" (no extension).
bool MatchesWildcard(std::u16string_view pattern, std::u16string_view name);

}  // namespace Emulated
