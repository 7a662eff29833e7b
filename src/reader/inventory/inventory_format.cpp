#include "reader/inventory/inventory_format.h"

#include <algorithm>

#include "reader/inventory/entry_location.h"
#include "reader/record/event_time.h"
#include "reader/text/json_text.h"
#include "reader/text/process_json.h"

namespace Reader {
namespace {

nlohmann::json FileCheckJson(const FileCheck& f) {
  return {{"path", f.path},
          {"shortcut", f.shortcut},
          {"present", f.present},
          {"version", TextOrNull(f.present, f.version)},
          {"company", TextOrNull(f.present, f.company)},
          {"signer", TextOrNull(f.hasSignature, f.signer)},
          {"signatureValid", f.hasSignature ? nlohmann::json(f.signatureValid) : nlohmann::json(nullptr)}};
}

constexpr const char* kColumns[] = {
    "key", "type", "loadPointType", "location", "user", "userName", "controlSet", "entry", "commandLine",
    "displayName", "indirectionEntry",
    "indirectionCommandLine", "firstRecorded", "lastChanged", "process", "processPath", "foundByRescan",
    "fileVersion", "companyName", "signer", "signatureValid", "downloadAddress"};
constexpr const char* kFileColumns[] = {"path", "shortcut", "present", "version", "company", "signer", "signatureValid"};

std::string ItemText(const InventoryItem& item, const AccountNames& accounts) {
  const LoadPointRecord& p = item.point;
  std::string out = "  " + Shown(EntryLabel(p.entry, p.displayName));
  if (!p.user.empty()) out += "  [" + Shown(UserText(p.user, p.userName, accounts)) + "]";
  out += "\n";
  if (const std::string where = PointLocation(p); !where.empty()) out += "    where:   " + Shown(where) + "\n";
  if (!p.commandLine.empty()) out += "    command: " + Shown(p.commandLine) + "\n";
  if (!p.indirectionCommandLine.empty() || !p.indirectionEntry.empty()) {
    out += "    server:  " + Shown(p.indirectionCommandLine.empty() ? p.indirectionEntry
                                                                    : p.indirectionCommandLine) + "\n";
  }
  // A row a rescan found and nothing changed since has no change event of its own.
  out += "    first recorded " + TimeText(p.firstRecorded, p.firstRecordedOffset) +
         (p.lastChanged.empty() ? "" : ", last changed " + TimeText(p.lastChanged, p.lastChangedOffset)) + "\n";
  out += "    by:  " + (p.noProcess ? LoadPointNoProcessText(p) : Shown(p.process + " (" + p.processPath + ")")) + "\n";
  if (!p.noProcess) out += "         " + Shown(ImageDetails(p)) + "\n";
  if (item.file.checked) out += "    file: " + Shown(FileCheckText(item.file)) + "\n";
  return out;
}

}  // namespace

std::string LoadPointNoProcessText(const LoadPointRecord& p) {
  if (p.lastOrigin == 1) return RescanFindingText(TimeText(p.lastChanged, p.lastChangedOffset));
  if (p.lastOrigin == 2) return kNotificationMark;
  if (p.changedSinceEvent) {
    return "found by a rescan, no process known: changed after its last recorded change while nothing watched";
  }
  return kNoProcessMark;
}

std::string FileSignerText(const FileCheck& f) {
  if (!f.checked) return "";
  if (f.path.empty()) return "no file found";
  if (!f.present) return "missing";
  if (!f.hasSignature) return "not signed";
  return (f.signer.empty() ? "an unknown signer" : f.signer) + (f.signatureValid ? " (valid)" : " (not valid)");
}

std::string FileCheckText(const FileCheck& f) {
  if (f.path.empty()) return "no file found in the command line";
  const std::string path = f.shortcut.empty() ? f.path : f.shortcut + " -> " + f.path;
  if (!f.present) return path + ", missing";
  std::string text = path + ", present";
  if (!f.version.empty()) text += ", version " + f.version;
  if (!f.company.empty()) text += ", " + f.company;
  if (!f.hasSignature) return text + ", not signed";
  return text + ", signed by " + (f.signer.empty() ? "an unknown signer" : f.signer) +
         (f.signatureValid ? " (valid)" : " (not valid)");
}

std::string InventoryText(std::vector<InventoryItem> items, const AccountNames& accounts) {
  if (items.empty()) return "No load points recorded.\n";
  // Grouped by type; within a type the order given (by location, then entry).
  std::stable_sort(items.begin(), items.end(), [](const InventoryItem& a, const InventoryItem& b) {
    return a.point.loadPointType < b.point.loadPointType;
  });
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i == 0 || items[i].point.loadPointType != items[i - 1].point.loadPointType) {
      out += (i == 0 ? "" : "\n") + items[i].point.typeName + "\n";
    }
    out += ItemText(items[i], accounts);
  }
  return out;
}

nlohmann::json InventoryJson(const InventoryItem& item) {
  const LoadPointRecord& p = item.point;
  nlohmann::json json = {
      {"key", p.key}, {"type", p.typeName}, {"loadPointType", p.loadPointType}, {"user", p.user},
      {"userName", p.userName}, {"controlSet", p.controlSet}, {"location", PointLocation(p)},
      {"entry", p.entry}, {"commandLine", p.commandLine}, {"displayName", p.displayName},
      {"indirectionEntry", p.indirectionEntry}, {"indirectionCommandLine", p.indirectionCommandLine},
      {"firstRecorded", TimeIso(p.firstRecorded, p.firstRecordedOffset)},
      {"lastChanged", TimeIso(p.lastChanged, p.lastChangedOffset)}, {"foundByRescan", p.noProcess}};
  AddProcessJson(p, !p.noProcess, &json);
  if (item.file.checked) json["file"] = FileCheckJson(item.file);
  return json;
}

std::string InventoryJsonLine(const InventoryItem& item) {
  // InventoryJson's fields in nlohmann's (sorted) order: the two agree byte for byte.
  const LoadPointRecord& p = item.point;
  const FileCheck& f = item.file;
  const bool known = !p.noProcess;
  std::string file, out;
  if (f.checked) {
    JsonLine(&file)
        .TextOrNull("company", f.present, f.company)
        .Text("path", f.path)
        .Bool("present", f.present)
        .Text("shortcut", f.shortcut)
        .BoolOrNull("signatureValid", f.hasSignature, f.signatureValid)
        .TextOrNull("signer", f.hasSignature, f.signer)
        .TextOrNull("version", f.present, f.version)
        .EndObject();
  }
  JsonLine line(&out);
  line.Text("commandLine", p.commandLine)
      .TextOrNull("companyName", known, p.companyName)
      .Text("controlSet", p.controlSet)
      .Text("displayName", p.displayName)
      .TextOrNull("downloadAddress", !p.downloadAddress.empty(), p.downloadAddress)
      .Text("entry", p.entry);
  if (f.checked) line.Object("file", file);
  line.TextOrNull("fileVersion", known, p.fileVersion)
      .Text("firstRecorded", TimeIso(p.firstRecorded, p.firstRecordedOffset))
      .Bool("foundByRescan", p.noProcess)
      .Text("indirectionCommandLine", p.indirectionCommandLine)
      .Text("indirectionEntry", p.indirectionEntry)
      .Number("key", p.key)
      .Text("lastChanged", TimeIso(p.lastChanged, p.lastChangedOffset))
      .Number("loadPointType", p.loadPointType)
      .Text("location", PointLocation(p))
      .TextOrNull("process", known, p.process)
      .TextOrNull("processPath", known, p.processPath)
      .BoolOrNull("signatureValid", p.hasSignature, p.signatureValid)
      .TextOrNull("signer", p.hasSignature, p.signer)
      .Text("type", p.typeName)
      .Text("user", p.user)
      .Text("userName", p.userName)
      .End();
  return out;
}

std::string InventoryCsvHeader(bool verified) {
  std::string out;
  for (const char* column : kColumns) out += std::string(out.empty() ? "" : ",") + column;
  if (verified) {
    // "entryFile...": the process's image already has its "fileVersion" column.
    for (const char* column : kFileColumns) out += std::string(",entryFile") + char(column[0] - 32) + (column + 1);
  }
  return out + "\r\n";
}

std::string InventoryCsvRow(const InventoryItem& item) {
  const nlohmann::json json = InventoryJson(item);
  std::string out;
  for (const char* column : kColumns) out += (column == kColumns[0] ? "" : ",") + CsvValue(json[column]);
  if (item.file.checked) {
    for (const char* column : kFileColumns) out += "," + CsvValue(json["file"][column]);
  }
  return out + "\r\n";
}

}  // namespace Reader
