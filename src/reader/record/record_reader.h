#pragma once
// Reads Brumevale.data without ever changing it, while the service may be writing.
//
// The file is opened read-only, so the reader makes no journal of its own and never
// touches the service's. Rows are read a page at a time, each page its own short
// read transaction, so that a service write waits at most one of its 500 ms busy
// retries. A service transaction that holds the file longer than BusyLimit makes a
// read return ReadResult::Busy.
//
// Thread: one RecordReader per thread. Nothing is thrown.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/sql_connection.h"
#include "reader/record/event_time.h"
#include "reader/record/records.h"

namespace Reader {

class RecordSchema;

enum class ReadResult {
  Ok,
  Unreadable,  // not a database, damaged, or without the tables the record needs
  Busy,        // the service held the file locked for longer than the busy limit
};

class RecordReader {
 public:
  static constexpr int kBusyLimitMs = 5000;

  // Opens path read-only. Null with a one-line message naming the file when it is
  // missing, a folder, not SQLite, damaged or lacks ChangeEvents or LoadPoints; a
  // file without any table is an empty record. busy is set when the lock outlasted
  // the busy limit.
  static std::unique_ptr<RecordReader> Open(const std::string& path, std::string* error,
                                            bool* busy = nullptr);
  ~RecordReader();
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;

  // Change events with KEY > afterKey, by key, at most limit of them, appended.
  ReadResult ReadEvents(int64_t afterKey, int limit, std::vector<EventRecord>* events);
  // LoadPoints rows with KEY > afterKey, by key, at most limit, appended.
  ReadResult ReadLoadPoints(int64_t afterKey, int limit, std::vector<LoadPointRecord>* points);
  // The time of the event with the highest key; empty when there is none.
  ReadResult LatestEventTime(std::string* time);

  // Every record, by key, handed over a page at a time so that a million events
  // never need to be held at once; each stops at the first failing page. each may
  // move the record it is given away: the page is dropped after it.
  ReadResult EachEvent(const std::function<void(EventRecord&)>& each);
  ReadResult EachLoadPoint(const std::function<void(LoadPointRecord&)>& each);
  ReadResult ReadAllEvents(std::vector<EventRecord>* events);
  ReadResult ReadAllLoadPoints(std::vector<LoadPointRecord>* points);

  // The machine's UTC offsets as the service had noted them at the last page read;
  // empty in an older record.
  const UtcOffsets& Offsets() const { return offsets_; }
  // The users' names as the service noted them (UserNames), which names resolved
  // here (on Windows) replace; every record read after carries its user's name.
  void AddAccountNames(const AccountNames& names);

  // SQLite's message of the last failure, with the file's name.
  const std::string& Error() const { return error_; }

 private:
  RecordReader(Database::SqlConnection db, std::string path, std::unique_ptr<RecordSchema> schema);
  // sql: the schema's query for the rows, asked once the page's layout is known.
  template <typename Record, typename Fill>
  ReadResult ReadPage(std::string (RecordSchema::*sql)() const, int64_t afterKey, int limit, Fill fill,
                      std::vector<Record>* out);
  // The connection's last failure as the read's result, its message kept in error_.
  ReadResult Failure();
  // Reads the offsets as the file has them now; false when they cannot be read.
  bool LoadOffsets();
  bool LoadNames();
  template <typename Record>
  void Annotate(Record* record) const;

  Database::SqlConnection db_;
  std::string path_;
  std::unique_ptr<RecordSchema> schema_;
  std::string error_;
  UtcOffsets offsets_;
  AccountNames names_;     // SIDs folded to upper case
  AccountNames accounts_;  // account names without their domain, folded, to the SID
};

}  // namespace Reader
