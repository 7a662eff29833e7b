#include "reader/record/record_reader.h"

#include <filesystem>

#include "database/sql_read_transaction.h"
#include "reader/record/record_rows.h"
#include "reader/record/record_schema.h"

using Database::SqlAccess;
using Database::SqlConnection;
using Database::SqlFailure;
using Database::SqlReadTransaction;
using Database::SqlStatement;
using Database::SqlStep;
using Database::SqlType;

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

// Said of the connection's last failure.
std::string SqliteProblem(const SqlConnection& db) {
  switch (db.LastFailure()) {
    case SqlFailure::kNotADatabase: return "is not a SQLite database";
    case SqlFailure::kCorrupt: return "is damaged (" + db.ErrorMessage() + ")";
    default: return db.ErrorMessage();
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
  SqlConnection db;
  auto schema = std::make_unique<RecordSchema>();
  bool read = db.Open(path, SqlAccess::kReadOnly);
  if (read) {
    db.WaitWhileBusy(std::chrono::milliseconds(kBusyLimitMs));
    db.UseExtendedCodes();
    read = schema->Load(db);
  }
  std::string missing;
  if (read && !schema->Empty() && !schema->HasWhatRecordNeeds(&missing)) {
    *error = path + ": not a Brumevale record (no " + missing + ")";
  } else if (!read) {
    if (busy) *busy = db.LastFailure() == SqlFailure::kBusy;
    *error = path + ": " + (db.Handle() ? SqliteProblem(db) : "cannot be opened");
  } else {
    std::unique_ptr<RecordReader> reader(new RecordReader(std::move(db), path, std::move(schema)));
    if (reader->LoadOffsets() && reader->LoadNames()) return reader;
    if (busy) *busy = reader->db_.LastFailure() == SqlFailure::kBusy;
    *error = path + ": " + SqliteProblem(reader->db_);
    return nullptr;  // the reader closes the file
  }
  return nullptr;
}

RecordReader::RecordReader(SqlConnection db, std::string path, std::unique_ptr<RecordSchema> schema)
    : db_(std::move(db)), path_(std::move(path)), schema_(std::move(schema)) {}

RecordReader::~RecordReader() = default;

bool RecordReader::LoadOffsets() {
  // A record opened while the service was still making its tables may have had
  // its rows' tables before the offsets' table: its layout is read again, once it
  // has changed, until the offsets' table is there. An older record's never comes,
  // and its layout never changes under the reader.
  if (!schema_->Has("UtcOffsets")) {
    if (!schema_->MayHaveChanged(db_)) return true;
    auto layout = std::make_unique<RecordSchema>();
    if (!layout->Load(db_)) return false;
    std::string missing;
    if (layout->HasWhatRecordNeeds(&missing)) schema_ = std::move(layout);
    if (!schema_->Has("UtcOffsets")) return true;
  }
  SqlStatement statement(db_, "SELECT SINCE, OFFSET_MINUTES FROM UtcOffsets ORDER BY KEY");
  std::vector<UtcOffsetNote> notes;
  SqlStep step = statement.Ok() ? SqlStep::kRow : SqlStep::kFailed;
  while (statement.Ok() && (step = statement.Step()) == SqlStep::kRow) {
    const char* since = statement.Text(0);
    if (since != nullptr && statement.Type(1) == SqlType::kInteger) notes.push_back({since, statement.Int(1)});
  }
  offsets_ = UtcOffsets(std::move(notes));
  return step == SqlStep::kDone;
}

bool RecordReader::LoadNames() {
  if (!schema_->Has("UserNames")) return true;
  SqlStatement statement(db_, "SELECT SID, NAME FROM UserNames");
  AccountNames names;
  SqlStep step = statement.Ok() ? SqlStep::kRow : SqlStep::kFailed;
  while (statement.Ok() && (step = statement.Step()) == SqlStep::kRow) {
    const char* sid = statement.Text(0);
    const char* name = statement.Text(1);
    if (sid != nullptr && name != nullptr) names[sid] = name;
  }
  AddAccountNames(names);
  return step == SqlStep::kDone;
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

ReadResult RecordReader::Failure() {
  error_ = path_ + ": " + SqliteProblem(db_);
  return db_.LastFailure() == SqlFailure::kBusy ? ReadResult::Busy : ReadResult::Unreadable;
}

template <typename Record, typename Fill>
ReadResult RecordReader::ReadPage(std::string (RecordSchema::*sql)() const, int64_t afterKey, int limit, Fill fill,
                                  std::vector<Record>* out) {
  if (schema_->Empty()) return ReadResult::Ok;
  // The page and what its times are read with, as one state of the file: the
  // service may write offsets and rows between two of a reader's statements, and
  // a row read with older notes than its own would print another time than it
  // will for every later read.
  SqlReadTransaction transaction(db_);
  if (!LoadOffsets()) return Failure();
  SqlStep step = SqlStep::kFailed;
  SqlStatement statement(db_, (schema_.get()->*sql)());
  if (statement.Ok()) {
    statement.Bind(1, afterKey);
    statement.BindInt(2, limit);
    while ((step = statement.Step()) == SqlStep::kRow) fill(statement, &out->emplace_back());
  }
  return step == SqlStep::kDone ? ReadResult::Ok : Failure();
}

ReadResult RecordReader::ReadEvents(int64_t afterKey, int limit, std::vector<EventRecord>* events) {
  const size_t before = events->size();
  const ReadResult result = ReadPage(&RecordSchema::EventQuery, afterKey, limit, ReadEventRow, events);
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
  const ReadResult result = ReadPage(&RecordSchema::LoadPointQuery, afterKey, limit, ReadLoadPointRow, points);
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
  SqlStep step = SqlStep::kFailed;
  {
    SqlStatement statement(db_, "SELECT EVENT_TIME FROM ChangeEvents ORDER BY KEY DESC LIMIT 1");
    if (statement.Ok() && (step = statement.Step()) == SqlStep::kRow) {
      const char* text = statement.Text(0);
      *time = text ? text : "";
      step = SqlStep::kDone;
    }
  }
  return step == SqlStep::kDone ? ReadResult::Ok : Failure();
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
