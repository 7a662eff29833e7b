#pragma once
// How the manager reads a service's ImagePath: environment variables expanded,
// "\SystemRoot\" and "System32\" prefixes as the loader takes them, the program in
// quotes or, unquoted, the longest prefix that names a known program, as
// CreateProcess tries the spaces of an unquoted path one by one.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Emulated {

struct ServiceImage {
  std::u16string program;
  std::vector<std::u16string> arguments;
};

// expand: ExpandEnvironmentStrings of the manager's own environment; isProgram
// tells whether a path names a program of the machine.
ServiceImage ParseServiceImage(std::u16string_view imagePath,
                               const std::function<std::u16string(std::u16string_view)>& expand,
                               const std::function<bool(std::u16string_view)>& isProgram);

// The file name of a path: what follows the last "\".
std::u16string_view ImageFileName(std::u16string_view path);

}  // namespace Emulated
