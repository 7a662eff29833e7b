// The change history as a readable listing, as JSON lines and as CSV.

#include "reader/event_format.h"

#include "reader/csv_text.h"
#include "reader/json_text.h"

namespace Reader {

const char kNoProcessMark[] = "found by a rescan, no process known";

namespace {

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string UserText(const std::string& user, const AccountNames& accounts) {
  const auto account = accounts.find(user);
  return account == accounts.end() ? user : account->second;
}

// Rescan summaries and settings checks have no load point of their own.
bool IsSummary(const EventRecord& event) { return event.eventType == 6 || event.eventType == 9; }

nlohmann::json TextOrNull(bool present, const std::string& text) {
  return present ? nlohmann::json(text) : nlohmann::json(nullptr);
}

// The CSV columns, in the order the JSON object lists its fields.
constexpr const char* kCsvColumns[] = {
    "time", "event", "eventType", "type", "loadPointType", "entry", "user", "oldCommandLine",
    "newCommandLine", "process", "processPath", "foundByRescan", "fileVersion", "companyName",
    "signer", "signatureValid", "downloadAddress"};

std::string CsvValue(const nlohmann::json& value) {
  if (value.is_null()) return "";
  if (value.is_string()) return CsvField(value.get<std::string>());
  return value.dump();
}

}  // namespace

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
    // A folder entry removed live keeps no row and no details.
    const bool unknown = e.typeName.empty() && e.entry.empty();
    out += Padded(e.typeName, 26) + (unknown ? "(details not kept)" : Shown(e.entry));
    if (!e.user.empty()) out += "  [" + Shown(UserText(e.user, accounts)) + "]";
  }
  out += "\n";
  if (!e.oldCommandLine.empty()) out += "    old: " + Shown(e.oldCommandLine) + "\n";
  if (!e.newCommandLine.empty()) out += "    new: " + Shown(e.newCommandLine) + "\n";
  if (!IsSummary(e)) {
    out += "    by:  " + (e.noProcess ? std::string(kNoProcessMark)
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
  const bool known = !e.noProcess;
  return {
      {"time", e.time},
      {"event", e.event},
      {"eventType", e.eventType},
      {"type", e.typeName},
      {"loadPointType", e.loadPointType},
      {"entry", e.entry},
      {"user", e.user},
      {"oldCommandLine", e.oldCommandLine},
      {"newCommandLine", e.newCommandLine},
      {"process", TextOrNull(known, e.process)},
      {"processPath", TextOrNull(known, e.processPath)},
      {"foundByRescan", e.noProcess},
      {"fileVersion", TextOrNull(known, e.fileVersion)},
      {"companyName", TextOrNull(known, e.companyName)},
      {"signer", TextOrNull(e.hasSignature, e.signer)},
      {"signatureValid", e.hasSignature ? nlohmann::json(e.signatureValid) : nlohmann::json(nullptr)},
      {"downloadAddress", TextOrNull(!e.downloadAddress.empty(), e.downloadAddress)},
  };
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
      .Bool("foundByRescan", e.noProcess)
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
