#pragma once
// The rows of a machine's Brumevale.data exactly as stored, for export and audit:
// every column a row has, its SQLite type kept (integer, real, text, null), so that
// a copy compares equal with the original only when nothing was altered.

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "database/sql_connection.h"

namespace Fleet {

struct RawEvent {
  int64_t key = 0;
  int64_t eventType = 0;  // 0 where an older layout has no EVENT_TYPE
  nlohmann::json changeEvent;    // the ChangeEvents row, column name -> value
  nlohmann::json extendedEvent;  // its ExtendedEvent row, or null
};

// An event's two rows as the JSON text an event message carries.
struct RawEventText {
  int64_t key = 0;
  std::string changeEvent;             // the ChangeEvents row as an object
  std::string extendedEvent = "null";  // its ExtendedEvent row, or null
};

// A read-only connection that never writes a journal of its own. Reads happen in
// short transactions so that the service never waits more than one busy retry.
class RecordFile {
 public:
  RecordFile() = default;
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // False with a message naming the file when it cannot be read as a record.
  bool Open(const std::string& path, std::string* error);
  void Close();

  // Up to limit events with KEY > after, oldest first, with their extended rows.
  bool ReadEvents(int64_t after, int limit, std::vector<RawEventText>* out, std::string* error);
  // The events with the given keys (any order); keys missing on disk are left out.
  bool ReadEventsByKey(const std::vector<int64_t>& keys, std::vector<RawEvent>* out, std::string* error);
  // The KEY of the limit-th event counted back from (and including) key, or 0.
  int64_t KeyBefore(int64_t key, int limit);
  // The key of the latest settings check (the end of every rescan), 0 when none.
  int64_t LatestRescanKey(int64_t atMost);
  // Every LoadPoints row as stored.
  bool ReadLoadPoints(std::vector<nlohmann::json>* out, std::string* error);

 private:
  bool ExtendedRows(int64_t first, int64_t last, std::vector<RawEventText>* events, std::string* error);
  Database::SqlConnection db_;
};

// The ChangeEvents EVENT_TYPE of a settings check, written once at the end of every rescan.
constexpr int64_t kRescanEndEventType = 9;

}  // namespace Fleet
