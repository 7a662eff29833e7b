#include "util/vyr_log.h"

#include <utility>
#include <vector>

#include "platform/byte_order.h"
#include "util/time_text.h"

namespace VyrUtilities {

VyrLog::VyrLog(Platform::System& system) : system_(system) {}

bool VyrLog::Open(std::u16string_view path, int truncate) {
  // One object writes one file: opening again while open would either lose the
  // open handle or, for the same path, fail on our own deny-write sharing and drop
  // the log. The open log is kept and the second open refused.
  if (file_) return false;
  Platform::FileSystem& files = system_.Files();
  // Readers may look at a log while it is written; a second writer is refused.
  Platform::ScopedFile file;
  uint32_t disposition = truncate != 0 ? Platform::kCreateAlways : Platform::kOpenAlways;
  if (files.CreateFile(path, Platform::kGenericWrite, Platform::kFileShareRead, disposition,
                       Platform::kFileAttributeNormal, file.Receive(files)) != Platform::kErrorSuccess) {
    return false;
  }
  uint64_t end = 0;
  files.SetFilePointer(file.Get(), 0, Platform::kFileEnd, &end);
  file_ = std::move(file);
  path_ = path;
  // A Unicode text file starts with its byte-order mark; appended text follows
  // the mark already there.
  if (end == 0) WriteText(u"\xFEFF");
  return true;
}

bool VyrLog::Close() {
  if (!file_) return false;
  file_.Reset();
  return true;
}

void VyrLog::Write(std::u16string_view message, int newline, int timeStamp, int withDate) {
  if (!file_) return;
  if (timeStamp != 0) {
    WriteText(u"[" + FormatCurrentTime(system_, withDate != 0) + u"] ");
  }
  WriteText(message);
  if (newline != 0) WriteText(u"\r\n");
}

void VyrLog::WriteHeader(std::u16string_view title) {
  if (!file_) return;
  std::u16string bar(title.size() + 8, u'=');
  WriteText(bar + u"\r\n*** " + std::u16string(title) + u" ***\r\n" + bar + u"\r\n");
}

// Each piece goes straight to the file with WriteFile: there is no buffer of our own
// to flush, so every line is in the operating system's hands (and readable by
// others) as soon as it is written, and survives the process ending abruptly. A
// FlushFileBuffers per line would add a disk-cache flush on NTFS for nothing the
// log needs. Write results are ignored: a log that cannot be written must never
// stop the service.
void VyrLog::WriteText(std::u16string_view text) {
  if (text.empty()) return;
  std::vector<uint8_t> bytes = Platform::Utf16LeBytes(text);
  uint32_t written = 0;
  system_.Files().WriteFile(file_.Get(), bytes, &written);
}

}  // namespace VyrUtilities
