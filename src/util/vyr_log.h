#pragma once
// One UTF-16LE text log file. Every write goes to the file at once (no buffer of
// our own), so that the log is complete up to the last operation when the process
// ends abruptly. The file is
// held deny-write: other processes may read it while it is open, none may write it.
// The object takes no lock; each piece of a line is one write to the file.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/scoped_handle.h"
#include "platform/system.h"

namespace VyrUtilities {

class VyrLog {
 public:
  explicit VyrLog(Platform::System& system);
  virtual ~VyrLog() = default;
  VyrLog(const VyrLog&) = delete;
  VyrLog& operator=(const VyrLog&) = delete;

  // truncate non-zero: a new, empty file (with a byte-order mark); else the text is
  // appended to what the file holds. Refused (false) while a file is open.
  bool Open(std::u16string_view path, int truncate);
  // False when no file was open.
  bool Close();
  // "[time] " when timeStamp is non-zero (with the date when withDate is non-zero),
  // then message, then CR LF when newline is non-zero. Dropped while closed.
  void Write(std::u16string_view message, int newline, int timeStamp, int withDate);
  // A bar of "=" as wide as "*** title ***", that line, and the bar again.
  void WriteHeader(std::u16string_view title);

  const std::u16string& Path() const { return path_; }
  bool IsOpen() const { return file_.IsValid(); }

 private:
  void WriteText(std::u16string_view text);

  Platform::System& system_;
  Platform::ScopedFile file_;
  std::u16string path_;
};

}  // namespace VyrUtilities
