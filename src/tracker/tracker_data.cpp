#include "tracker/tracker_data.h"

#include <array>
#include <vector>

#include "platform/byte_order.h"
#include "platform/scoped_handle.h"

namespace BrumevaleUtil {
namespace {

constexpr std::u16string_view kUrlStream = u":Brumevale.URL";
// An address, an account and a time: far below this. A larger stream was not
// written by the tracker and is not read whole.
constexpr uint32_t kMaxTagBytes = 64 * 1024;

// The stream's UTF-16LE text (no byte-order mark, no terminator), or false when the
// file has no tag.
bool ReadTag(Platform::FileSystem& files, const std::u16string& path, std::u16string* text) {
  Platform::ScopedFile stream;
  if (files.CreateFile(path + std::u16string(kUrlStream), Platform::kGenericRead,
                       Platform::kFileShareRead | Platform::kFileShareWrite, Platform::kOpenExisting,
                       Platform::kFileAttributeNormal, stream.Receive(files)) != Platform::kErrorSuccess)
    return false;
  std::vector<uint8_t> bytes(kMaxTagBytes);
  uint32_t read = 0;
  if (files.ReadFile(stream.Get(), bytes, &read) != Platform::kErrorSuccess) return false;
  *text = Platform::Utf16LeText(std::span<const uint8_t>(bytes).first(read));
  return true;
}

}  // namespace

std::u16string* AllocString() { return new std::u16string(); }

void DeallocString(std::u16string* text) { delete text; }

int32_t GetBrumevaleTrackerData(Platform::System& system, const std::u16string& path, std::u16string* first,
                                std::u16string* second, std::u16string* third) {
  std::u16string text;
  if (path.empty() || !ReadTag(system.Files(), path, &text)) return 0;
  // Address and owner end at the first two line feeds; the rest is the time.
  std::array<std::u16string, 3> lines;
  size_t start = 0;
  for (size_t i = 0; i < 2; ++i) {
    const size_t feed = text.find(u'\n', start);
    lines[i] = text.substr(start, feed - start);
    start = feed == std::u16string::npos ? text.size() : feed + 1;
  }
  lines[2] = text.substr(start);
  if (lines[0].empty()) return 0;
  *first = std::move(lines[0]);
  *second = std::move(lines[1]);
  *third = std::move(lines[2]);
  return 1;
}

}  // namespace BrumevaleUtil
