#include "reader/record_reader.h"

#include <sqlite3.h>

#include <filesystem>

#include "reader/record_rows.h"
#include "reader/record_schema.h"

namespace Reader {
namespace {

constexpr int kPageRows = 1000;

// What is wrong with a path before SQLite is asked, or empty.
std::string PathProblem(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(std::filesystem::u8path(path), ec);
  if (!std::filesystem::exists(status)) return "no such file";
  if (std::filesystem::is_directory(status)) return "is a folder, not a database file";
  if (!std::filesystem::is_regular_file(status)) return "is not a regular file";
  return "";
}

std::string SqliteProblem(sqlite3* db, int rc) {
  switch (rc & 0xFF) {
    case SQLITE_NOTADB: return "is not a SQLite database";
    case SQLITE_CORRUPT: return "is damaged (" + std::string(sqlite3_errmsg(db)) + ")";
    default: return sqlite3_errmsg(db);
  }
}

}  // namespace

std::unique_ptr<RecordReader> RecordReader::Open(const std::string& path, std::string* error,
                                                 bool* busy) {
  if (busy) *busy = false;
  if (const std::string problem = PathProblem(path); !problem.empty()) {
    *error = path + ": " + problem;
    return nullptr;
  }
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  auto schema = std::make_unique<RecordSchema>();
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db, kBusyLimitMs);
    sqlite3_extended_result_codes(db, 1);
    schema->Load(db, &rc);
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  std::string missing;
  if (rc == SQLITE_OK && !schema->Empty() && !schema->HasWhatRecordNeeds(&missing)) {
    *error = path + ": not a Brumevale record (no " + missing + ")";
  } else if (rc != SQLITE_OK) {
    if (busy) *busy = (rc & 0xFF) == SQLITE_BUSY;
    *error = path + ": " + (db ? SqliteProblem(db, rc) : "cannot be opened");
  } else {
    return std::unique_ptr<RecordReader>(new RecordReader(db, path, std::move(schema)));
  }
  sqlite3_close(db);
  return nullptr;
}

RecordReader::RecordReader(sqlite3* db, std::string path, std::unique_ptr<RecordSchema> schema)
    : db_(db), path_(std::move(path)), schema_(std::move(schema)) {}

RecordReader::~RecordReader() { sqlite3_close(db_); }

ReadResult RecordReader::Failure(int rc) {
  error_ = path_ + ": " + SqliteProblem(db_, rc);
  return (rc & 0xFF) == SQLITE_BUSY ? ReadResult::Busy : ReadResult::Unreadable;
}

template <typename Record, typename Fill>
ReadResult RecordReader::ReadPage(const std::string& sql, int64_t afterKey, int limit, Fill fill,
                                  std::vector<Record>* out) {
  if (schema_->Empty()) return ReadResult::Ok;
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_int64(statement, 1, afterKey);
    sqlite3_bind_int(statement, 2, limit);
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) fill(statement, &out->emplace_back());
  }
  // Finalizing ends the page's read transaction before the next one begins.
  sqlite3_finalize(statement);
  return rc == SQLITE_DONE ? ReadResult::Ok : Failure(rc);
}

ReadResult RecordReader::ReadEvents(int64_t afterKey, int limit, std::vector<EventRecord>* events) {
  return ReadPage(schema_->EventQuery(), afterKey, limit, ReadEventRow, events);
}

ReadResult RecordReader::ReadLoadPoints(int64_t afterKey, int limit,
                                        std::vector<LoadPointRecord>* points) {
  return ReadPage(schema_->LoadPointQuery(), afterKey, limit, ReadLoadPointRow, points);
}

ReadResult RecordReader::LatestEventTime(std::string* time) {
  time->clear();
  if (schema_->Empty()) return ReadResult::Ok;
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db_, "SELECT EVENT_TIME FROM ChangeEvents ORDER BY KEY DESC LIMIT 1",
                              -1, &statement, nullptr);
  if (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement, 0);
    *time = text ? reinterpret_cast<const char*>(text) : "";
    rc = SQLITE_DONE;
  }
  sqlite3_finalize(statement);
  return rc == SQLITE_DONE ? ReadResult::Ok : Failure(rc);
}

template <typename Record, typename Page>
static ReadResult Each(Page page, const std::function<void(const Record&)>& each) {
  std::vector<Record> records;
  int64_t after = 0;
  for (;;) {
    records.clear();
    const ReadResult result = page(after, kPageRows, &records);
    if (result != ReadResult::Ok) return result;
    for (const Record& record : records) each(record);
    if (records.size() < static_cast<size_t>(kPageRows)) return result;
    after = records.back().key;
  }
}

ReadResult RecordReader::EachEvent(const std::function<void(const EventRecord&)>& each) {
  return Each<EventRecord>([this](int64_t a, int n, auto* o) { return ReadEvents(a, n, o); }, each);
}

ReadResult RecordReader::EachLoadPoint(const std::function<void(const LoadPointRecord&)>& each) {
  return Each<LoadPointRecord>([this](int64_t a, int n, auto* o) { return ReadLoadPoints(a, n, o); },
                               each);
}

ReadResult RecordReader::ReadAllEvents(std::vector<EventRecord>* events) {
  return EachEvent([events](const EventRecord& e) { events->push_back(e); });
}

ReadResult RecordReader::ReadAllLoadPoints(std::vector<LoadPointRecord>* points) {
  return EachLoadPoint([points](const LoadPointRecord& p) { points->push_back(p); });
}

}  // namespace Reader
