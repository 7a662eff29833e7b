#include "platform/emulated/files/file_path.h"

namespace Emulated {
namespace {

char16_t FoldUnit(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

bool HasDrivePrefix(std::u16string_view path) {
  return path.size() >= 2 && IsLetter(path[0]) && path[1] == u':';
}

// Splits on "\" and drops empty components, keeping whether the text ended in one.
std::vector<std::u16string> Components(std::u16string_view path) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Resolves "." and "..", never climbing above the root.
std::vector<std::u16string> Resolve(const std::vector<std::u16string>& parts) {
  std::vector<std::u16string> out;
  for (const auto& part : parts) {
    if (part == u".") continue;
    if (part == u"..") {
      if (!out.empty()) out.pop_back();
      continue;
    }
    out.push_back(part);
  }
  return out;
}

bool MatchFrom(std::u16string_view p, std::u16string_view n) {
  size_t pi = 0, ni = 0, starP = std::u16string_view::npos, starN = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == u'?' || FoldUnit(p[pi]) == FoldUnit(n[ni]))) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == u'*') {
      starP = pi++;
      starN = ni;
    } else if (starP != std::u16string_view::npos) {
      pi = starP + 1;
      ni = ++starN;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  return pi == p.size();
}

}  // namespace

std::u16string FoldAscii(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = FoldUnit(c);
  return out;
}

bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldUnit(a[i]) != FoldUnit(b[i])) return false;
  }
  return true;
}

std::optional<std::u16string> NormalizeFullPath(std::u16string_view input,
                                                std::u16string_view currentDirectory) {
  if (input.empty()) return std::nullopt;
  std::u16string path(input);
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  std::u16string root;
  std::u16string_view rest;
  if (HasDrivePrefix(path) && path.size() >= 3 && path[2] == u'\\') {
    root = path.substr(0, 2);
    rest = std::u16string_view(path).substr(3);
  } else if (HasDrivePrefix(path)) {
    // "C:x" is relative to the drive's current directory; only the process's own
    // drive has one here, other drives start at their root.
    const bool sameDrive = HasDrivePrefix(currentDirectory) &&
                           FoldUnit(currentDirectory[0]) == FoldUnit(path[0]);
    root = path.substr(0, 2);
    std::u16string joined = sameDrive ? std::u16string(currentDirectory.substr(2)) : u"";
    path = joined + u"\\" + path.substr(2);
    rest = path;
  } else if (path[0] == u'\\') {
    root = std::u16string(currentDirectory.substr(0, 2));
    rest = std::u16string_view(path).substr(1);
  } else {
    root = std::u16string(currentDirectory.substr(0, 2));
    path = std::u16string(currentDirectory.substr(2)) + u"\\" + path;
    rest = path;
  }
  root[0] = FoldUnit(root[0]);
  const bool trailingSeparator = !rest.empty() && rest.back() == u'\\';
  std::vector<std::u16string> parts = Resolve(Components(rest));
  if (!trailingSeparator && !parts.empty()) {
    std::u16string& last = parts.back();
    while (!last.empty() && (last.back() == u'.' || last.back() == u' ')) last.pop_back();
    if (last.empty()) parts.pop_back();
  }
  std::u16string out = root + u"\\";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += u'\\';
    out += parts[i];
  }
  if (trailingSeparator && !parts.empty()) out += u'\\';
  return out;
}

std::optional<std::vector<std::u16string>> SplitDrivePath(std::u16string_view fullPath,
                                                          char16_t* drive) {
  if (!HasDrivePrefix(fullPath)) return std::nullopt;
  if (fullPath.size() > 2 && fullPath[2] != u'\\') return std::nullopt;
  *drive = FoldUnit(fullPath[0]);
  return Components(fullPath.substr(2));
}

bool SplitStream(std::u16string_view text, std::u16string* name, std::u16string* stream) {
  // The callers split a component in place; work on a copy so the outputs may alias it.
  const std::u16string copy(text);
  const std::u16string_view component = copy;
  const size_t colon = component.find(u':');
  if (colon == std::u16string_view::npos) {
    *name = std::u16string(component);
    stream->clear();
    return !name->empty();
  }
  std::u16string_view streamPart = component.substr(colon + 1);
  const size_t second = streamPart.find(u':');
  if (second != std::u16string_view::npos) {
    if (!EqualsIgnoreAsciiCase(streamPart.substr(second + 1), u"$DATA")) return false;
    streamPart = streamPart.substr(0, second);
  }
  *name = std::u16string(component.substr(0, colon));
  *stream = std::u16string(streamPart);
  return !name->empty();
}

bool IsValidFileName(std::u16string_view name) {
  for (char16_t c : name) {
    if (c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' ||
        c == u'*' || c == u':' || c == u'/' || c == u'\\') {
      return false;
    }
  }
  return !name.empty();
}

bool HasWildcards(std::u16string_view pattern) {
  return pattern.find_first_of(u"*?") != std::u16string_view::npos;
}

bool MatchesWildcard(std::u16string_view pattern, std::u16string_view name) {
  if (pattern == u"*.*" || pattern == u"*") return true;
  if (MatchFrom(pattern, name)) return true;
  // "readme.*" finds "readme" as well: a name without a dot matches as if it ended
  // in one.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" &&
      name.find(u'.') == std::u16string_view::npos) {
    return MatchFrom(pattern.substr(0, pattern.size() - 2), name);
  }
  return false;
}

}  // namespace Emulated
