#pragma once
// Times without doubt. The record stores local time text ("YYYY-MM-DD HH:MM:SS")
// without an offset; the service notes the machine's offset from UTC, and each
// change of it, in UtcOffsets. The reader pairs every stored time with the offset
// in force then: the listing shows "2026-12-07 04:51:08 +01:00", JSON and CSV
// "2026-12-07T04:51:08+01:00"; a time the notes do not cover (an older record, or
// one before the first note) says its offset is unknown.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Reader {

// One UtcOffsets row: the offset in minutes (east positive) from the local time since on.
struct UtcOffsetNote {
  std::string since;
  int32_t minutes = 0;
};

// The notes of one record, in the order the service wrote them.
class UtcOffsets {
 public:
  UtcOffsets() = default;
  explicit UtcOffsets(std::vector<UtcOffsetNote> notes) : notes_(std::move(notes)) {}
  // The offset in force at the stored local time; none before the first note or
  // when there are no notes. At a change back (the clocks going back an hour) a
  // local time is ambiguous; the latest note that began at or before it answers.
  std::optional<int32_t> At(const std::string& local) const;
  bool Empty() const { return notes_.empty(); }

 private:
  std::vector<UtcOffsetNote> notes_;
};

// "+01:00", "-05:30", "+00:00".
std::string OffsetText(int32_t minutes);
// The listing's time: "YYYY-MM-DD HH:MM:SS +01:00", or "... (offset unknown)";
// an empty time stays empty.
std::string TimeText(const std::string& local, std::optional<int32_t> offset);
// ISO 8601: "YYYY-MM-DDTHH:MM:SS+01:00"; without a known offset the ISO local form
// "YYYY-MM-DDTHH:MM:SS", which says no offset; an empty time stays empty.
std::string TimeIso(const std::string& local, std::optional<int32_t> offset);

// A time as the listing or as TimeIso wrote it, or as stored: its local text and
// its offset when it carries one. False when the text is no such time.
bool SplitTime(const std::string& text, std::string* local, std::optional<int32_t>* offset);

// Calendar fields of "YYYY-MM-DD HH:MM:SS" as seconds since 1970 (as if UTC); false
// for an impossible date or time.
bool LocalSeconds(const std::string& local, int64_t* seconds);
// The inverse: seconds since 1970 as "YYYY-MM-DD HH:MM:SS".
std::string LocalText(int64_t seconds);

}  // namespace Reader
