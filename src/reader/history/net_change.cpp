#include "reader/history/net_change.h"

#include "reader/text/csv_text.h"
#include "reader/history/event_format.h"
#include "reader/record/event_time.h"
#include "reader/history/history_filter.h"

namespace Reader {
namespace {

enum class Kind { None, Added, Changed, Removed };

Kind KindOf(int32_t eventType) {
  switch (eventType) {
    case 13: return Kind::Added;
    case 2:
    case 14: return Kind::Removed;
    case 1:
    case 7:
    case 8: return Kind::Changed;
    default: return Kind::None;  // rescan summaries and settings checks
  }
}

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : separator) + part;
  return out;
}

// A time kept in ISO form as the listing shows it.
std::string ListingTime(const std::string& iso) {
  std::string local;
  std::optional<int32_t> offset;
  return SplitTime(iso, &local, &offset) ? TimeText(local, offset) : iso;
}

}  // namespace

void NetChangeBuilder::Add(const EventRecord& e) {
  const Kind kind = KindOf(e.eventType);
  if (kind == Kind::None || (e.typeName.empty() && e.entry.empty())) return;
  // Names are compared as the system compares them, ignoring the case of A to Z.
  const std::string key = e.typeName + '\n' + Folded(e.entry) + '\n' + Folded(e.user);
  auto [slot, fresh] = index_.try_emplace(key, tracks_.size());
  if (fresh) {
    Track track;
    const std::string time = TimeIso(e.time, e.utcOffset);
    track.net = {e.typeName, e.loadPointType, e.entry, e.user, "", e.oldCommandLine, "", {}, time, time};
    track.existedBefore = kind != Kind::Added;
    tracks_.push_back(track);
  }
  Track& track = tracks_[slot->second];
  track.existsAfter = kind != Kind::Removed;
  track.net.newCommandLine = kind == Kind::Removed ? "" : e.newCommandLine;
  track.net.lastTime = TimeIso(e.time, e.utcOffset);
  track.lastStateChange = e.stateChange;
  if (!e.noProcess && (track.net.processes.empty() || track.net.processes.back() != e.processPath)) {
    track.net.processes.push_back(e.processPath);
  }
}

std::vector<NetChange> NetChangeBuilder::Result() const {
  std::vector<NetChange> out;
  for (const Track& track : tracks_) {
    NetChange net = track.net;
    if (!track.existedBefore && track.existsAfter) {
      net.change = track.lastStateChange == 2 ? "enabled again" : "added";
      net.oldCommandLine.clear();
    } else if (track.existedBefore && !track.existsAfter) {
      // A service or task disabled keeps its rows' removal but is no removal.
      net.change = track.lastStateChange == 1 ? "disabled" : "removed";
    } else if (track.existedBefore && net.oldCommandLine != net.newCommandLine) {
      net.change = "changed";
    } else {
      continue;  // back where it started
    }
    out.push_back(std::move(net));
  }
  return out;
}

nlohmann::json NetChangeJson(const NetChange& n) {
  return {{"type", n.typeName},        {"loadPointType", n.loadPointType},
          {"entry", n.entry},          {"user", n.user},
          {"change", n.change},        {"oldCommandLine", n.oldCommandLine},
          {"newCommandLine", n.newCommandLine}, {"processes", n.processes},
          {"firstTime", n.firstTime},  {"lastTime", n.lastTime}};
}

std::string NetChangeText(const NetChange& n) {
  std::string line = n.change + std::string(n.change.size() < 8 ? 8 - n.change.size() : 0, ' ') +
                     " " + n.typeName + ": " + Shown(n.entry);
  if (!n.user.empty()) line += "  [" + Shown(n.user) + "]";
  if (n.change == "added" || n.change == "enabled again") line += "  = " + Shown(n.newCommandLine);
  if (n.change == "removed" || n.change == "disabled") line += "  was " + Shown(n.oldCommandLine);
  if (n.change == "changed") line += "  " + Shown(n.oldCommandLine) + " -> " + Shown(n.newCommandLine);
  line += "  (" + ListingTime(n.firstTime) + (n.lastTime == n.firstTime ? "" : " to " + ListingTime(n.lastTime)) +
          "; by " +
          (n.processes.empty() ? "no process known" : Shown(Joined(n.processes, ", "))) + ")";
  return line + "\n";
}

std::string NetChangeCsvHeader() {
  return "type,loadPointType,entry,user,change,oldCommandLine,newCommandLine,processes,firstTime,lastTime\r\n";
}

std::string NetChangeCsvRow(const NetChange& n) {
  return CsvRow({n.typeName, std::to_string(n.loadPointType), n.entry, n.user, n.change, n.oldCommandLine,
                 n.newCommandLine, Joined(n.processes, "; "), n.firstTime, n.lastTime});
}

}  // namespace Reader
