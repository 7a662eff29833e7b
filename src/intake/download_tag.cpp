// The download half of the ActivityTracker: deciding whether a file a browser wrote
// is the download of a known address, and tagging it.

#include <vector>

#include "intake/activity_tracker.h"
#include "platform/byte_order.h"
#include "platform/scoped_handle.h"
#include "tracker/download_tag.h"
#include "util/path_routines.h"
#include "util/text_routines.h"
#include "util/time_text.h"
#include "util/vyr_log.h"

namespace Intake {

using VyrUtilities::EqualsIgnoreCase;

namespace {

constexpr std::u16string_view kZoneStream = u"Zone.Identifier";

// The browser saves a download into its cache as name[N].ext; the file is the
// download of an address whose last part is name.ext.
bool IsCacheCopyOf(std::u16string_view filePath, std::u16string_view address) {
  std::u16string fileName;
  std::u16string extension;
  VyrUtilities::SplitPath(filePath, nullptr, &fileName, &extension, nullptr);
  std::vector<std::u16string> addressParts;
  VyrUtilities::Split(address, u'/', addressParts);
  std::vector<std::u16string> nameParts;
  VyrUtilities::Split(addressParts.back(), u'.', nameParts);
  if (nameParts.size() != 2 || !EqualsIgnoreCase(nameParts[1], extension)) return false;
  const size_t bracket = fileName.find(u'[');
  return bracket != std::u16string::npos &&
         EqualsIgnoreCase(std::u16string_view(fileName).substr(0, bracket), nameParts[0]);
}

}  // namespace

bool ActivityTracker::RecordDownload(std::u16string_view filePath, std::u16string_view address,
                                     std::u16string_view owner) {
  std::vector<std::u16string> parts;
  VyrUtilities::Split(filePath, u':', parts);
  if (parts.size() < 3) {
    if (!IsCacheCopyOf(filePath, address)) return false;
    WriteUrlTag(filePath, address, owner);
    return true;
  }
  // The browser wrote the zone stream of the downloaded file: tag that file.
  if (EqualsIgnoreCase(parts[2], kZoneStream)) {
    WriteUrlTag(parts[0] + u":" + parts[1], address, owner);
    return true;
  }
  return false;
}

bool ActivityTracker::WriteUrlTag(std::u16string_view filePath, std::u16string_view address,
                                  std::u16string_view owner) {
  Platform::FileSystem& files = system_.Files();
  Platform::ScopedFile stream;
  const Platform::Win32Error error = files.CreateFile(
      std::u16string(filePath) + std::u16string(BrumevaleUtil::DownloadTag::kStream),
      Platform::kGenericRead | Platform::kGenericWrite, 0, Platform::kCreateAlways,
      Platform::kFileAttributeNormal, stream.Receive(files));
  if (error != Platform::kErrorSuccess) {
    LogTagFailure(u"Failed to create URL tag.", filePath, error);
    return false;
  }
  const BrumevaleUtil::DownloadTag tag{std::u16string(address), std::u16string(owner),
                                       VyrUtilities::FormatCurrentTime(system_, true)};
  const auto pieces = tag.Pieces();
  for (size_t i = 0; i < std::size(pieces); ++i) {
    Platform::Win32Error writeError = Platform::kErrorSuccess;
    if (!WriteText(stream.Get(), pieces[i], writeError)) {
      // Only the first write is worth a line: a later failure means the volume went
      // away in the middle, and the create already proved the path was good.
      if (i == 0) LogTagFailure(u"Failed to write URL tag.", filePath, writeError);
      return false;
    }
  }
  return true;
}

bool ActivityTracker::WriteText(Platform::Handle file, std::u16string_view text,
                                Platform::Win32Error& error) {
  const std::vector<uint8_t> bytes = Platform::Utf16LeBytes(text);
  uint32_t written = 0;
  error = system_.Files().WriteFile(file, bytes, &written);
  return error == Platform::kErrorSuccess && written == bytes.size();
}

void ActivityTracker::LogTagFailure(std::u16string_view message, std::u16string_view filePath,
                                    Platform::Win32Error error) {
  log_.Write(message, 0, 1, 1);
  log_.Write(u" File=\"" + std::u16string(filePath) + u"\" Error Code=" +
                 VyrUtilities::IntToText(error, 10),
             1, 0, 0);
}

}  // namespace Intake
