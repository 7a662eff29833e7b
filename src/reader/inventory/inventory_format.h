#pragma once
// The load points as they stand: the listing grouped by type, one JSON object a
// LoadPoints row, and CSV; with what a check of the file on the machine found when
// the inventory was verified.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "reader/history/event_format.h"
#include "reader/record/records.h"

namespace Reader {

// What the file a command line starts is now, on the machine itself.
struct FileCheck {
  bool checked = false;  // no check ran (the inventory was not verified)
  std::string path;      // the file the command line starts, empty when none was found
  std::string shortcut;  // the shortcut that starts path, when the entry is one
  bool present = false;
  std::string version;
  std::string company;
  bool hasSignature = false;  // false: not signed (or not found)
  std::string signer;
  bool signatureValid = false;
};

struct InventoryItem {
  LoadPointRecord point;
  FileCheck file;
};

// Grouped by type (in type order), by key within a type.
std::string InventoryText(std::vector<InventoryItem> items, const AccountNames& accounts);
nlohmann::json InventoryJson(const InventoryItem& item);
std::string InventoryJsonLine(const InventoryItem& item);
std::string InventoryCsvHeader(bool verified);
std::string InventoryCsvRow(const InventoryItem& item);

// Why a load point names no process: a rescan's finding with its time, a change
// notification, a value changed after its last recorded change, or found by a rescan.
std::string LoadPointNoProcessText(const LoadPointRecord& point);

// The entry file's signer for a column: "X (valid)", "X (not valid)", "not signed",
// "missing"; empty when no check ran.
std::string FileSignerText(const FileCheck& file);

// What the check of a file found, on one line: "present, version 1.2, Kelvra, signed
// by X (valid)" or "missing".
std::string FileCheckText(const FileCheck& file);

}  // namespace Reader
