#include "reader/text/safe_text.h"

#include <cstdio>

namespace Reader {
namespace {

// The code of a hidden mark that starts at text[i] (three UTF-8 bytes), or 0.
unsigned HiddenMarkAt(const std::string& text, size_t i) {
  if (i + 2 >= text.size()) return 0;
  const auto b0 = static_cast<unsigned char>(text[i]), b1 = static_cast<unsigned char>(text[i + 1]),
             b2 = static_cast<unsigned char>(text[i + 2]);
  if ((b0 & 0xF0) != 0xE0 || (b1 & 0xC0) != 0x80 || (b2 & 0xC0) != 0x80) return 0;
  const unsigned code = ((b0 & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
  const bool hidden = (code >= 0x200B && code <= 0x200F) || (code >= 0x202A && code <= 0x202E) ||
                      (code >= 0x2066 && code <= 0x2069) || code == 0xFEFF;
  return hidden ? code : 0;
}

}  // namespace

std::string VisibleMarks(const std::string& text) {
  // Every mark's UTF-8 starts with 0xE2 or 0xEF; most texts hold neither.
  if (text.find_first_of("\xE2\xEF") == std::string::npos) return text;
  std::string out;
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned code = HiddenMarkAt(text, i);
    if (code == 0) {
      out += text[i];
      continue;
    }
    char mark[12];
    std::snprintf(mark, sizeof mark, "<U+%04X>", code);
    out += mark;
    i += 2;
  }
  return out;
}

bool StartsLikeFormula(const std::string& text) {
  return !text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@' ||
                           text[0] == '\t' || text[0] == '\r');
}

}  // namespace Reader
