// The change history as a readable listing, as JSON lines and as CSV.

#include "reader/event_format.h"

#include "reader/json_text.h"
#include "reader/process_json.h"

namespace Reader {

const char kNoProcessMark[] = "found by a rescan, no process known";
const char kNoProcessRecordedMark[] = "no process recorded";
const char kDetailsNotKeptMark[] = "(details not kept)";

namespace {

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

// The CSV columns, in the order the JSON object lists its fields.
constexpr const char* kCsvColumns[] = {
    "time", "event", "eventType", "type", "loadPointType", "entry", "user", "oldCommandLine",
    "newCommandLine", "process", "processPath", "foundByRescan", "fileVersion", "companyName",
    "signer", "signatureValid", "downloadAddress"};

}  // namespace

std::string UserText(const std::string& user, const AccountNames& accounts) {
  const auto account = accounts.find(user);
  return account == accounts.end() ? user : account->second;
}

bool IsSummary(const EventRecord& event) { return event.eventType == 6 || event.eventType == 9; }

bool DetailsNotKept(const EventRecord& event) {
  return !IsSummary(event) && event.typeName.empty() && event.entry.empty();
}

const char* NoProcessText(const EventRecord& event) {
  return event.foundByRescan ? kNoProcessMark : kNoProcessRecordedMark;
}

std::string Shown(const std::string& text) {
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
  std::string out = Padded(e.time, 20) + Padded(e.event, 21);
  if (!IsSummary(e)) {
    out += Padded(e.typeName, 26) + (DetailsNotKept(e) ? kDetailsNotKeptMark : Shown(e.entry));
    if (!e.user.empty()) out += "  [" + Shown(UserText(e.user, accounts)) + "]";
  }
  out += "\n";
  if (!e.oldCommandLine.empty()) out += "    old: " + Shown(e.oldCommandLine) + "\n";
  if (!e.newCommandLine.empty()) out += "    new: " + Shown(e.newCommandLine) + "\n";
  if (!IsSummary(e)) {
    out += "    by:  " + (e.noProcess ? std::string(NoProcessText(e))
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
      {"time", e.time},
      {"event", e.event},
      {"eventType", e.eventType},
      {"type", e.typeName},
      {"loadPointType", e.loadPointType},
      {"entry", e.entry},
      {"user", e.user},
      {"oldCommandLine", e.oldCommandLine},
      {"newCommandLine", e.newCommandLine},
      {"foundByRescan", e.foundByRescan},
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
      .TextOrNull("companyName", known, e.companyName)
      .TextOrNull("downloadAddress", !e.downloadAddress.empty(), e.downloadAddress)
      .Text("entry", e.entry)
      .Text("event", e.event)
      .Number("eventType", e.eventType)
      .TextOrNull("fileVersion", known, e.fileVersion)
      .Bool("foundByRescan", e.foundByRescan)
      .Number("loadPointType", e.loadPointType)
      .Text("newCommandLine", e.newCommandLine)
      .Text("oldCommandLine", e.oldCommandLine)
      .TextOrNull("process", known, e.process)
      .TextOrNull("processPath", known, e.processPath)
      .BoolOrNull("signatureValid", e.hasSignature, e.signatureValid)
      .TextOrNull("signer", e.hasSignature, e.signer)
      .Text("time", e.time)
      .Text("type", e.typeName)
      .Text("user", e.user)
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
