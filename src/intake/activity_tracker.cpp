#include "intake/activity_tracker.h"

#include <optional>
#include <vector>

#include "intake/registry_entry.h"
#include "util/text_routines.h"

namespace Intake {

using VyrUtilities::EqualsIgnoreCase;

namespace {

// A process id as the tracking value names write it: decimal digits. Anything
// else ("-" included, which the name check lets through) names no process.
std::optional<uint64_t> ParseProcessId(std::u16string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  uint64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  return value;
}

}  // namespace

std::u16string ActivityTracker::ThreadKey(uint64_t processId, uint64_t threadId) {
  return VyrUtilities::IntToText(static_cast<int64_t>(processId), 10) + u":" +
         VyrUtilities::IntToText(static_cast<int64_t>(threadId), 10);
}

void ActivityTracker::OnDownloadEvent(const BrumevaleRegistryEvent& event) {
  if (event.Operation() == kRegistryValueDeleted || event.MatcherCode() != kDownloadTrackingCode) {
    return;
  }
  std::vector<std::u16string> parts;
  VyrUtilities::Split(event.ValueName(), u':', parts);
  if (parts.size() != 2 || !VyrUtilities::IsDigits(parts[0]) ||
      !VyrUtilities::IsDigits(parts[1])) {
    return;
  }
  const std::optional<uint64_t> processId = ParseProcessId(parts[0]);
  if (!processId || !processes_.IsBrowserProcess(*processId)) return;
  // The first address a thread reported stays: a later one would re-point a
  // download already under way.
  addresses_.emplace(event.ValueName(), event.GetValueText(0));
}

void ActivityTracker::OnThreadEntry(const ThreadEntry& entry) {
  if (!processes_.IsBrowserProcess(entry.FirstId())) return;
  const std::u16string key = ThreadKey(entry.FirstId(), entry.SecondId());
  if (entry.State() == kThreadEnded) {
    if (addresses_.erase(key) == 0) threadLinks_.erase(key);
    return;
  }
  if (entry.State() != kThreadCreated || addresses_.count(key) == 0) return;
  threadLinks_.emplace(ThreadKey(entry.FirstId(), entry.SubjectId()), key);
}

void ActivityTracker::OnFileEntry(const FileEntry& entry) {
  if (!processes_.IsBrowserProcess(entry.FirstId()) || entry.FileOperation() == kFileDeleted) {
    return;
  }
  const std::u16string& owner = processes_.GetProcessOwner(entry.FirstId());
  const auto link = threadLinks_.find(ThreadKey(entry.FirstId(), entry.SecondId()));
  if (link == threadLinks_.end()) return;
  const auto address = addresses_.find(link->second);
  if (address == addresses_.end()) return;
  RecordDownload(entry.Path(), address->second, owner);
}

}  // namespace Intake
