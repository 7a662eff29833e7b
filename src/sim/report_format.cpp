// The change history as a readable listing and as JSON lines.

#include <vector>

#include <nlohmann/json.hpp>

#include "sim/change_report.h"

namespace Sim {
namespace {

// A change event without a process was found by a rescan (or the watcher), not
// caught as it happened; the report says so plainly instead of naming nobody.
constexpr char kNoProcessMark[] = "found by a rescan, no process known";

// Names are whatever a program wrote, line breaks included; in the listing each
// control character is shown as its visible symbol (U+2400 + code, DEL as U+2421)
// so that one change stays one block of lines. JSON escapes them itself.
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

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string UserText(const std::string& user, const std::map<std::string, std::string>& accounts) {
  const auto account = accounts.find(user);
  return account == accounts.end() ? user : account->second;
}

// Rescan summaries and settings checks have no load point of their own.
bool IsSummary(const ChangeReportRow& row) { return row.eventType == 6 || row.eventType == 9; }

// "version 1.2, Kelvra, signed by X (valid), from http://...": what is known of the
// image, each part only when there is something to say, on one line below "by:".
std::string ImageDetails(const ChangeReportRow& row) {
  std::vector<std::string> parts;
  if (!row.fileVersion.empty()) parts.push_back("version " + row.fileVersion);
  if (!row.companyName.empty()) parts.push_back(row.companyName);
  if (!row.hasSignature) {
    parts.push_back("not signed");
  } else {
    const std::string signer = row.signer.empty() ? "an unknown signer" : row.signer;
    parts.push_back("signed by " + signer + (row.signatureValid ? " (valid)" : " (not valid)"));
  }
  if (!row.downloadAddress.empty()) parts.push_back("downloaded from " + row.downloadAddress);
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

nlohmann::json TextOrNull(bool present, const std::string& text) {
  return present ? nlohmann::json(text) : nlohmann::json(nullptr);
}

}  // namespace

std::string FormatReportTable(const std::vector<ChangeReportRow>& rows,
                              const std::map<std::string, std::string>& accounts) {
  std::string out;
  for (const ChangeReportRow& row : rows) {
    out += Padded(row.time, 20) + Padded(row.event, 21);
    if (!IsSummary(row)) {
      // A folder entry removed live keeps no row and no details.
      const bool unknown = row.typeName.empty() && row.entry.empty();
      out += Padded(row.typeName, 26) + (unknown ? "(details not kept)" : Shown(row.entry));
      if (!row.user.empty()) out += "  [" + Shown(UserText(row.user, accounts)) + "]";
    }
    out += "\n";
    if (!row.oldCommandLine.empty()) out += "    old: " + Shown(row.oldCommandLine) + "\n";
    if (!row.newCommandLine.empty()) out += "    new: " + Shown(row.newCommandLine) + "\n";
    if (!IsSummary(row)) {
      out += "    by:  " + (row.noProcess ? std::string(kNoProcessMark)
                                          : Shown(row.process + " (" + row.processPath + ")")) + "\n";
      if (!row.noProcess) out += "         " + Shown(ImageDetails(row)) + "\n";
    }
  }
  if (rows.empty()) out = "No changes recorded.\n";
  return out;
}

std::string FormatReportJsonLines(const std::vector<ChangeReportRow>& rows) {
  std::string out;
  for (const ChangeReportRow& row : rows) {
    nlohmann::json line = {
        {"time", row.time},
        {"event", row.event},
        {"eventType", row.eventType},
        {"type", row.typeName},
        {"loadPointType", row.loadPointType},
        {"entry", row.entry},
        {"user", row.user},
        {"oldCommandLine", row.oldCommandLine},
        {"newCommandLine", row.newCommandLine},
        {"process", row.noProcess ? nlohmann::json(nullptr) : nlohmann::json(row.process)},
        {"processPath", row.noProcess ? nlohmann::json(nullptr) : nlohmann::json(row.processPath)},
        {"foundByRescan", row.noProcess},
        {"fileVersion", TextOrNull(!row.noProcess, row.fileVersion)},
        {"companyName", TextOrNull(!row.noProcess, row.companyName)},
        {"signer", TextOrNull(row.hasSignature, row.signer)},
        {"signatureValid", row.hasSignature ? nlohmann::json(row.signatureValid) : nlohmann::json(nullptr)},
        {"downloadAddress", TextOrNull(!row.downloadAddress.empty(), row.downloadAddress)},
    };
    out += line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  }
  return out;
}

}  // namespace Sim
