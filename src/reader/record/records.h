#pragma once
// What the record holds, one structure per thing a reader shows: a change event with
// what it points at (its extended data, the load point, setting or extension row,
// the process and its signature), and a load point as it stands with its last writer.
// Texts are UTF-8, as the database keeps them; a column an older database lacks
// reads as empty.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace Reader {

// A user's SID to "DOMAIN\name": the names the service kept in the record, and on
// Windows the names the reader resolves itself.
using AccountNames = std::map<std::string, std::string>;

// The ChangeEvents row itself.
struct ChangeEventColumns {
  int64_t key = 0;
  std::string eventTime;
  int64_t processEntryKey = 0;
  int64_t loadPointKey = 0;
  int32_t eventType = 0;
};

// The ExtendedEvent row of the event, when there is one: PARAM_0 type, PARAM_1 name,
// PARAM_2 user, PARAM_3 process key, PARAM_4 new (or removed) value, PARAM_5 old value.
struct ExtendedEventColumns {
  bool present = false;
  int32_t exEventType = 0;
  std::array<std::string, 6> param;
};

// What is known of a process's image and its signer. hasSignature is false for an
// unsigned image; a signature with an empty signer means the catalogs could not be
// searched for it.
struct ProcessFacts {
  std::string process;      // file name
  std::string processPath;
  std::string fileVersion;
  std::string companyName;
  bool hasSignature = false;
  std::string signer;
  bool signatureValid = false;
  std::string downloadAddress;  // the first line of the download data
};

// One change event, oldest first by key, as the history lists it.
struct EventRecord : ProcessFacts {
  int64_t key = 0;
  std::string time;                  // local time text, as stored
  std::optional<int32_t> utcOffset;  // minutes east of UTC in force then, when known
  int32_t eventType = 0;
  std::string event;         // the event type in words
  int32_t loadPointType = 0;
  std::string typeName;      // "Run", "System setting", "File extension", ...
  std::string entry;
  std::string displayName;   // the load point's DISPLAY_NAME while its row stands
  std::string user;          // as stored: a SID or a folder owner; empty for a control set's
  std::string userName;      // "DOMAIN\name" of a SID, when known
  std::string controlSet;    // "ControlSet001": where a control-set location lives
  std::string oldCommandLine;
  std::string newCommandLine;
  bool noProcess = true;     // PROCESS_ENTRY_KEY 0: no process known
  // Written by a rescan, which knows no process. A live event without a process
  // (one the service could not name, or an older record's removal) is not one.
  bool foundByRescan = true;
  // EventOrigin: 1 found by a rescan, 2 seen by a change notification, 0 no row (a
  // driver's event, or an older record); stateChange 1 disabled, 2 enabled again.
  int32_t origin = 0;
  int32_t stateChange = 0;
  ChangeEventColumns change;
  ExtendedEventColumns extended;
};

// One LoadPoints row with the event and process that last changed it.
struct LoadPointRecord : ProcessFacts {
  int64_t key = 0;
  int32_t loadPointType = 0;
  std::string typeName;
  std::string user;          // as EventRecord's
  std::string userName;
  std::string controlSet;
  std::string entry;
  std::string commandLine;
  std::string displayName;
  std::string indirectionEntry;        // a class's resolved server, when there is one
  std::string indirectionCommandLine;
  std::string firstRecorded;           // CREATION_TIME
  std::string lastChanged;             // time of the row's latest change event
  std::optional<int32_t> firstRecordedOffset, lastChangedOffset;  // minutes east of UTC
  int64_t changeEventKey = 0;
  bool noProcess = true;               // last written by a rescan, or no event known
  int32_t lastOrigin = 0;              // EventOrigin.ORIGIN of the row's latest event, 0 none
  // The row's value is not what its latest event wrote: changed since while nothing
  // watched. The event's process is then not named (noProcess is set).
  bool changedSinceEvent = false;
};

// The event type of a ChangeEvents row in words ("added", "changed", ...).
std::string ChangeEventName(int32_t eventType);

// The listing's name of a load-point type, "type N" for one the catalogue lacks.
std::string LoadPointTypeName(int32_t type);

}  // namespace Reader
