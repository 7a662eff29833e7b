#include "tracker/tracker_data.h"

#include <vector>

#include "platform/byte_order.h"
#include "platform/scoped_handle.h"

namespace BrumevaleUtil {
namespace {

// An address, an account and a time: far below this. A larger stream was not
// written by the tracker and is not read whole.
constexpr uint32_t kMaxTagBytes = 64 * 1024;

// The stream's UTF-16LE text (no byte-order mark, no terminator), or false when the
// file has no tag.
bool ReadTag(Platform::FileSystem& files, const std::u16string& path, std::u16string* text) {
  Platform::ScopedFile stream;
  if (files.CreateFile(path + std::u16string(DownloadTag::kStream), Platform::kGenericRead,
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

std::optional<DownloadTag> ReadDownloadTag(Platform::System& system, const std::u16string& path) {
  std::u16string text;
  if (path.empty() || !ReadTag(system.Files(), path, &text)) return std::nullopt;
  return DownloadTag::Parse(text);
}

}  // namespace BrumevaleUtil
