#pragma once
// The download tag: what the activity tracker writes on a file it saw downloaded, in the file's
// "Brumevale.URL" stream, and what the record reads back. Three lines of UTF-16LE
// text (no byte-order mark, no terminator): the address, the owner, the local time.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace BrumevaleUtil {

struct DownloadTag {
  // Appended to the file's path to name the stream.
  static constexpr std::u16string_view kStream = u":Brumevale.URL";

  std::u16string address;
  std::u16string owner;
  std::u16string time;

  // The tag's text in the order it is written, one piece per write.
  std::array<std::u16string_view, 5> Pieces() const { return {address, u"\n", owner, u"\n", time}; }
  std::u16string Text() const { return address + u"\n" + owner + u"\n" + time; }

  // Address and owner end at the first two line feeds, the rest is the time; a
  // missing line is empty. No tag when the address is empty: the tracker did not
  // finish writing it.
  static std::optional<DownloadTag> Parse(std::u16string_view text) {
    std::array<std::u16string, 3> lines;
    size_t start = 0;
    for (size_t i = 0; i < 2; ++i) {
      const size_t feed = text.find(u'\n', start);
      lines[i] = std::u16string(text.substr(start, feed - start));
      start = feed == std::u16string_view::npos ? text.size() : feed + 1;
    }
    lines[2] = std::u16string(text.substr(start));
    if (lines[0].empty()) return std::nullopt;
    return DownloadTag{std::move(lines[0]), std::move(lines[1]), std::move(lines[2])};
  }

  bool operator==(const DownloadTag&) const = default;
};

}  // namespace BrumevaleUtil
