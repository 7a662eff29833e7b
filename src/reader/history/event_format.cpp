// The change history as a readable listing, as JSON lines and as CSV.

#include "reader/history/event_format.h"

#include "reader/inventory/entry_location.h"
#include "reader/record/event_time.h"
#include "reader/text/json_text.h"
#include "reader/text/process_json.h"
#include "reader/text/safe_text.h"
#include "reader/record/value_limits.h"

namespace Reader {

const char kNoProcessMark[] = "found by a rescan, no process known";
const char kNotificationMark[] = "seen by a change notification; no driver, so no process is known";
const char kNoProcessRecordedMark[] = "no process recorded";
const char kDetailsNotKeptMark[] = "(details not kept)";

namespace {

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

// The CSV columns, in the order the JSON object lists its fields.
constexpr const char* kCsvColumns[] = {
    "time", "event", "eventType", "type", "loadPointType", "entry", "displayName", "location", "user",
    "userName", "controlSet", "oldCommandLine",
    "newCommandLine", "process", "processPath", "foundByRescan", "fileVersion", "companyName",
    "signer", "signatureValid", "downloadAddress", "beyondBuffers"};

}  // namespace

std::string UserText(const std::string& user, const std::string& userName, const AccountNames& accounts) {
  if (user.empty()) return user;
  std::string name = userName;
  if (name.empty()) {
    const auto account = accounts.find(user);
    if (account != accounts.end()) name = account->second;
  }
  return name.empty() || name == user ? user : name + " (" + user + ")";
}

bool BeyondBuffers(const EventRecord& e) {
  return NameBeyondBuffers(e.entry) || DataBeyondBuffers(e.newCommandLine) || DataBeyondBuffers(e.oldCommandLine);
}

bool IsSummary(const EventRecord& event) { return event.eventType == 6 || event.eventType == 9; }

bool DetailsNotKept(const EventRecord& event) {
  return !IsSummary(event) && event.typeName.empty() && event.entry.empty();
}

std::string NoProcessText(const EventRecord& event) {
  if (event.origin == 1) return RescanFindingText(TimeText(event.time, event.utcOffset));
  if (event.origin == 2) return kNotificationMark;
  return event.foundByRescan ? kNoProcessMark : kNoProcessRecordedMark;
}

std::string RescanFindingText(const std::string& time) {
  return "found by a rescan at " + time + ": changed while nothing watched";
}

std::string SummaryText(const EventRecord& event) {
  if (event.eventType == 6) {
    return "a rescan compared every load point with the record and found some added or changed while nothing "
           "watched";
  }
  return "the system policy settings were read and compared with the record";
}

std::string Shown(const std::string& stored) {
  const std::string text = VisibleMarks(stored);
  std::string out;
  out.reserve(text.size());
  for (const unsigned char c : text) {
    if (c >= 0x20 && c != 0x7F) {
      out += static_cast<char>(c);
      continue;
    }
    const unsigned symbol = c == 0x7F ? 0x2421 : 0x2400 + c;
    out += static_cast<char>(0xE0 | (symbol >> 12));
    out += static_cast<char>(0x80 | ((symbol >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (symbol & 0x3F));
  }
  return out;
}

std::string ImageDetails(const ProcessFacts& facts) {
  std::vector<std::string> parts;
  if (!facts.fileVersion.empty()) parts.push_back("version " + facts.fileVersion);
  if (!facts.companyName.empty()) parts.push_back(facts.companyName);
  if (!facts.hasSignature) {
    parts.push_back("not signed");
  } else {
    const std::string signer = facts.signer.empty() ? "an unknown signer" : facts.signer;
    parts.push_back("signed by " + signer + (facts.signatureValid ? " (valid)" : " (not valid)"));
  }
  if (!facts.downloadAddress.empty()) parts.push_back("downloaded from " + facts.downloadAddress);
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

std::string EventText(const EventRecord& e, const AccountNames& accounts) {
  std::string out = Padded(TimeText(e.time, e.utcOffset), 27) + Padded(e.event, 21);
  if (!IsSummary(e)) {
    out += Padded(e.typeName, 26) + (DetailsNotKept(e) ? kDetailsNotKeptMark : Shown(EntryLabel(e.entry, e.displayName)));
    if (!e.user.empty()) out += "  [" + Shown(UserText(e.user, e.userName, accounts)) + "]";
  }
  out += "\n";
  if (const std::string where = EventLocation(e); !where.empty()) out += "    where: " + Shown(where) + "\n";
  if (!e.oldCommandLine.empty()) out += "    old: " + Shown(e.oldCommandLine) + "\n";
  if (!e.newCommandLine.empty()) out += "    new: " + Shown(e.newCommandLine) + "\n";
  const std::string note = BeyondBuffersNote(e.entry, e.newCommandLine.empty() ? e.oldCommandLine : e.newCommandLine);
  if (!note.empty()) out += "    note: " + note + "\n";
  if (IsSummary(e)) out += "    " + SummaryText(e) + "\n";
  if (!IsSummary(e)) {
    out += "    by:  " + (e.noProcess ? NoProcessText(e)
                                      : Shown(e.process + " (" + e.processPath + ")")) + "\n";
    if (!e.noProcess) out += "         " + Shown(ImageDetails(e)) + "\n";
  }
  return out;
}

std::string EventsText(const std::vector<EventRecord>& events, const AccountNames& accounts) {
  if (events.empty()) return "No changes recorded.\n";
  std::string out;
  for (const EventRecord& event : events) out += EventText(event, accounts);
  return out;
}

nlohmann::json EventJson(const EventRecord& e) {
  nlohmann::json json = {
      {"time", TimeIso(e.time, e.utcOffset)},
      {"event", e.event},
      {"eventType", e.eventType},
      {"type", e.typeName},
      {"loadPointType", e.loadPointType},
      {"entry", e.entry},
      {"displayName", e.displayName},
      {"location", EventLocation(e)},
      {"user", e.user},
      {"userName", e.userName},
      {"controlSet", e.controlSet},
      {"oldCommandLine", e.oldCommandLine},
      {"newCommandLine", e.newCommandLine},
      {"foundByRescan", e.foundByRescan},
      {"beyondBuffers", BeyondBuffers(e)},
  };
  AddProcessJson(e, !e.noProcess, &json);
  return json;
}

std::string EventJsonLine(const EventRecord& e) {
  // The fields of EventJson in nlohmann's (sorted) order, so that the two agree byte for byte.
  const bool known = !e.noProcess;
  std::string out;
  out.reserve(512);
  JsonLine(&out)
      .Bool("beyondBuffers", BeyondBuffers(e))
      .TextOrNull("companyName", known, e.companyName)
      .Text("controlSet", e.controlSet)
      .Text("displayName", e.displayName)
      .TextOrNull("downloadAddress", !e.downloadAddress.empty(), e.downloadAddress)
      .Text("entry", e.entry)
      .Text("event", e.event)
      .Number("eventType", e.eventType)
      .TextOrNull("fileVersion", known, e.fileVersion)
      .Bool("foundByRescan", e.foundByRescan)
      .Number("loadPointType", e.loadPointType)
      .Text("location", EventLocation(e))
      .Text("newCommandLine", e.newCommandLine)
      .Text("oldCommandLine", e.oldCommandLine)
      .TextOrNull("process", known, e.process)
      .TextOrNull("processPath", known, e.processPath)
      .BoolOrNull("signatureValid", e.hasSignature, e.signatureValid)
      .TextOrNull("signer", e.hasSignature, e.signer)
      .Text("time", TimeIso(e.time, e.utcOffset))
      .Text("type", e.typeName)
      .Text("user", e.user)
      .Text("userName", e.userName)
      .End();
  return out;
}

std::string EventCsvHeader() {
  std::string out;
  for (const char* column : kCsvColumns) out += std::string(out.empty() ? "" : ",") + column;
  return out + "\r\n";
}

std::string EventCsvRow(const EventRecord& event) {
  const nlohmann::json json = EventJson(event);
  std::string out;
  for (const char* column : kCsvColumns) {
    if (column != kCsvColumns[0]) out += ',';
    out += CsvValue(json[column]);
  }
  return out + "\r\n";
}

}  // namespace Reader
