#include "database/sql_text.h"

namespace Database {

namespace {

// Windows-1252, the ANSI code page of the US-English systems the service targets,
// differs from Latin-1 only in 0x80..0x9F. Unassigned bytes map to themselves, as
// MultiByteToWideChar does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

// Sized first and written in place: every text value of every statement passes here.
void AppendUtf8(std::u16string_view wide, std::string& out) {
  size_t bytes = 0;
  for (char16_t u : wide) bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
  const size_t start = out.size();
  out.resize(start + bytes);
  char* p = out.data() + start;
  for (char16_t u : wide) {
    if (u < 0x80) {
      *p++ = static_cast<char>(u);
    } else if (u < 0x800) {
      *p++ = static_cast<char>(0xC0 | (u >> 6));
      *p++ = static_cast<char>(0x80 | (u & 0x3F));
    } else {
      *p++ = static_cast<char>(0xE0 | (u >> 12));
      *p++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      *p++ = static_cast<char>(0x80 | (u & 0x3F));
    }
  }
}

std::string ToUtf8(std::u16string_view wide) {
  std::string out;
  AppendUtf8(wide, out);
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<uint8_t>(text[i]);
    if (b0 < 0x80) {
      out.push_back(b0);
      i += 1;
    } else if (b0 <= 0xDF) {
      if (i + 1 >= text.size()) break;
      const auto b1 = static_cast<uint8_t>(text[i + 1]);
      out.push_back(static_cast<char16_t>(((b0 & 0x1F) << 6) | (b1 & 0x3F)));
      i += 2;
    } else {
      if (i + 2 >= text.size()) break;
      const auto b1 = static_cast<uint8_t>(text[i + 1]);
      const auto b2 = static_cast<uint8_t>(text[i + 2]);
      out.push_back(static_cast<char16_t>((b0 << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F)));
      i += 3;
    }
  }
  return out;
}

std::u16string FromAnsi(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto b = static_cast<uint8_t>(c);
    out.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
  }
  return out;
}

std::string EscapeQuotes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

std::string FormatInt(int32_t value) { return std::to_string(value); }

int32_t ParseInt(std::string_view text) {
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative || (!text.empty() && text[0] == '+')) i = 1;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > (int64_t{1} << 32)) break;  // keys never leave the 32-bit range
  }
  return static_cast<int32_t>(negative ? -value : value);
}

SqlText& SqlText::Text(std::u16string_view value) {
  sql_ += '?';
  if (value.find(u'\0') != std::u16string_view::npos) holdsNul_ = true;
  const size_t offset = texts_.size();
  AppendUtf8(value, texts_);
  values_.push_back({.isText = true,
                     .offset = static_cast<uint32_t>(offset),
                     .length = static_cast<uint32_t>(texts_.size() - offset)});
  return *this;
}

// The statement texts hold a "?" only where a value goes: no fixed piece quotes one.
std::string SqlText::Literal() const {
  std::string text;
  text.reserve(sql_.size() + values_.size() * 8);
  size_t next = 0;
  bool quoted = false;
  for (char c : sql_) {
    if (c == '\'') quoted = !quoted;
    if (c != '?' || quoted || next == values_.size()) {
      text.push_back(c);
      continue;
    }
    const Value& value = values_[next++];
    text += value.isText ? "'" + EscapeQuotes(TextOf(value)) + "'" : FormatInt(value.number);
  }
  return text;
}

}  // namespace Database
