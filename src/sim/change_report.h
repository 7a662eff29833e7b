#pragma once
// The change history of a machine, read from its database: one row per change
// event, oldest first, with the load point, the command lines and the process.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Sim {

struct ChangeReportRow {
  int64_t key = 0;
  std::string time;
  int32_t eventType = 0;
  std::string event;        // the event type in words
  int32_t loadPointType = 0;
  std::string typeName;     // "Run", "System setting", ...
  std::string entry;
  std::string user;         // as stored: a SID, a control set or a folder owner
  std::string oldCommandLine;
  std::string newCommandLine;
  std::string process;      // file name of the process that made the change
  std::string processPath;
  bool noProcess = true;    // found by a rescan: no process is known
  // What the process's image said of itself, empty when it has no version strings.
  std::string fileVersion;
  std::string companyName;
  // The signer of the image; hasSignature is false for an unsigned one. A file the
  // catalogs could not be searched for has a signature with an empty signer.
  bool hasSignature = false;
  std::string signer;
  bool signatureValid = false;
  // Where the image was downloaded from (the first line of its download data).
  std::string downloadAddress;
};

// The event types of ChangeEvents in words.
std::string ChangeEventName(int32_t eventType);

// Opens the database file read-only. False with a message naming the file.
bool ReadChangeHistory(const std::string& databaseHostPath, std::vector<ChangeReportRow>* rows,
                       std::string* error);

// accounts maps a SID to "DOMAIN\name" for the table; JSON keeps what is stored.
std::string FormatReportTable(const std::vector<ChangeReportRow>& rows,
                              const std::map<std::string, std::string>& accounts);
std::string FormatReportJsonLines(const std::vector<ChangeReportRow>& rows);

}  // namespace Sim
