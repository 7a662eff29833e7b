#include "reader/record/record_reader.h"

#include <sqlite3.h>

#include <filesystem>

#include "reader/record/record_rows.h"
#include "reader/record/record_schema.h"

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

// SIDs are key names: compared ignoring the case of A to Z.
std::string SidKey(const std::string& sid) {
  std::string key = sid;
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return key;
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
    std::unique_ptr<RecordReader> reader(new RecordReader(db, path, std::move(schema)));
    rc = reader->LoadOffsets();
    if (rc == SQLITE_OK) rc = reader->LoadNames();
    if (rc == SQLITE_OK) return reader;
    if (busy) *busy = (rc & 0xFF) == SQLITE_BUSY;
    *error = path + ": " + SqliteProblem(db, rc);
    return nullptr;  // the reader closes the file
  }
  sqlite3_close(db);
  return nullptr;
}

RecordReader::RecordReader(sqlite3* db, std::string path, std::unique_ptr<RecordSchema> schema)
    : db_(db), path_(std::move(path)), schema_(std::move(schema)) {}

RecordReader::~RecordReader() { sqlite3_close(db_); }

int RecordReader::LoadOffsets() {
  if (!schema_->Has("UtcOffsets")) return SQLITE_OK;
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db_, "SELECT SINCE, OFFSET_MINUTES FROM UtcOffsets ORDER BY KEY", -1, &statement,
                              nullptr);
  std::vector<UtcOffsetNote> notes;
  while (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
    const unsigned char* since = sqlite3_column_text(statement, 0);
    if (since != nullptr && sqlite3_column_type(statement, 1) == SQLITE_INTEGER) {
      notes.push_back({reinterpret_cast<const char*>(since), sqlite3_column_int(statement, 1)});
    }
    rc = SQLITE_OK;
  }
  sqlite3_finalize(statement);
  offsets_ = UtcOffsets(std::move(notes));
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int RecordReader::LoadNames() {
  if (!schema_->Has("UserNames")) return SQLITE_OK;
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db_, "SELECT SID, NAME FROM UserNames", -1, &statement, nullptr);
  AccountNames names;
  while (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
    const unsigned char* sid = sqlite3_column_text(statement, 0);
    const unsigned char* name = sqlite3_column_text(statement, 1);
    if (sid != nullptr && name != nullptr) names[reinterpret_cast<const char*>(sid)] = reinterpret_cast<const char*>(name);
    rc = SQLITE_OK;
  }
  sqlite3_finalize(statement);
  AddAccountNames(names);
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

void RecordReader::AddAccountNames(const AccountNames& names) {
  for (const auto& [sid, name] : names) {
    names_[SidKey(sid)] = name;
    // A folder row names its owner by the account name alone ("maren").
    accounts_.try_emplace(SidKey(name.substr(name.find('\\') + 1)), sid);
  }
}

template <typename Record>
void RecordReader::Annotate(Record* r) const {
  if (r->user.empty() || names_.empty()) return;
  auto found = names_.find(SidKey(r->user));
  if (found == names_.end() && r->user.rfind("S-1-", 0) != 0) {
    // One name per user: a folder owner becomes the user its registry rows name.
    const auto account = accounts_.find(SidKey(r->user));
    if (account == accounts_.end()) return;
    r->user = account->second;
    found = names_.find(SidKey(r->user));
  }
  if (found != names_.end()) r->userName = found->second;
}

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
  const size_t before = events->size();
  const ReadResult result = ReadPage(schema_->EventQuery(), afterKey, limit, ReadEventRow, events);
  for (size_t i = before; i < events->size(); ++i) {
    EventRecord& e = (*events)[i];
    if (!offsets_.Empty()) e.utcOffset = offsets_.At(e.time);
    Annotate(&e);
  }
  return result;
}

ReadResult RecordReader::ReadLoadPoints(int64_t afterKey, int limit,
                                        std::vector<LoadPointRecord>* points) {
  const size_t before = points->size();
  const ReadResult result = ReadPage(schema_->LoadPointQuery(), afterKey, limit, ReadLoadPointRow, points);
  for (size_t i = before; i < points->size(); ++i) {
    LoadPointRecord& p = (*points)[i];
    if (!offsets_.Empty()) {
      p.firstRecordedOffset = offsets_.At(p.firstRecorded);
      p.lastChangedOffset = offsets_.At(p.lastChanged);
    }
    Annotate(&p);
  }
  return result;
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
static ReadResult Each(Page page, const std::function<void(Record&)>& each) {
  std::vector<Record> records;
  int64_t after = 0;
  for (;;) {
    records.clear();
    const ReadResult result = page(after, kPageRows, &records);
    if (result != ReadResult::Ok) return result;
    if (records.empty()) return result;
    const int64_t last = records.back().key;
    for (Record& record : records) each(record);
    if (records.size() < static_cast<size_t>(kPageRows)) return result;
    after = last;
  }
}

ReadResult RecordReader::EachEvent(const std::function<void(EventRecord&)>& each) {
  return Each<EventRecord>([this](int64_t a, int n, auto* o) { return ReadEvents(a, n, o); }, each);
}

ReadResult RecordReader::EachLoadPoint(const std::function<void(LoadPointRecord&)>& each) {
  return Each<LoadPointRecord>([this](int64_t a, int n, auto* o) { return ReadLoadPoints(a, n, o); },
                               each);
}

ReadResult RecordReader::ReadAllEvents(std::vector<EventRecord>* events) {
  return EachEvent([events](EventRecord& e) { events->push_back(std::move(e)); });
}

ReadResult RecordReader::ReadAllLoadPoints(std::vector<LoadPointRecord>* points) {
  return EachLoadPoint([points](LoadPointRecord& p) { points->push_back(std::move(p)); });
}

}  // namespace Reader
