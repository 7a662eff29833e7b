#include "platform/emulated/services/service_image.h"

#include "platform/emulated/registry/registry_key.h"

namespace Emulated {

namespace {

std::vector<std::u16string> SplitArguments(std::u16string_view text) {
  std::vector<std::u16string> arguments;
  std::u16string current;
  bool quoted = false;
  for (char16_t c : text) {
    if (c == u'"') {
      quoted = !quoted;
    } else if (c == u' ' && !quoted) {
      if (!current.empty()) arguments.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) arguments.push_back(std::move(current));
  return arguments;
}

bool StartsWithFolded(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && RegistryNamesEqual(text.substr(0, prefix.size()), prefix);
}

// Driver and boot entries name their images relative to the system root.
std::u16string RootRelative(std::u16string_view path,
                            const std::function<std::u16string(std::u16string_view)>& expand) {
  if (StartsWithFolded(path, u"\\SystemRoot\\")) {
    return expand(u"%SystemRoot%") + std::u16string(path.substr(11));
  }
  if (StartsWithFolded(path, u"System32\\")) {
    return expand(u"%SystemRoot%\\") + std::u16string(path);
  }
  if (StartsWithFolded(path, u"\\??\\")) return std::u16string(path.substr(4));
  return std::u16string(path);
}

}  // namespace

ServiceImage ParseServiceImage(std::u16string_view imagePath,
                               const std::function<std::u16string(std::u16string_view)>& expand,
                               const std::function<bool(std::u16string_view)>& isProgram) {
  const std::u16string text = RootRelative(expand(imagePath), expand);
  if (!text.empty() && text.front() == u'"') {
    const size_t close = text.find(u'"', 1);
    if (close == std::u16string::npos) return {text.substr(1), {}};
    return {text.substr(1, close - 1), SplitArguments(std::u16string_view(text).substr(close + 1))};
  }
  for (size_t space = text.find(u' '); space != std::u16string::npos;
       space = text.find(u' ', space + 1)) {
    if (isProgram(std::u16string_view(text).substr(0, space))) {
      return {text.substr(0, space), SplitArguments(std::u16string_view(text).substr(space + 1))};
    }
  }
  return {text, {}};
}

std::u16string_view ImageFileName(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace Emulated
