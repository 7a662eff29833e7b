#pragma once
// One connection to a SQLite file, closed when it goes. Every program part that
// opens Brumevale.data opens it through this class, each with its own way of
// waiting for the service's lock:
//   - the service waits as long as the lock lasts (a busy handler of its own);
//   - a reader gives up after a fixed time and says the file is busy.
// Text goes in and out as UTF-8, SQLite's default encoding, file names included;
// the service's UTF-16 texts are converted by SqlText before they are bound.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;

namespace Database {

enum class SqlAccess {
  kReadWrite,  // a missing file is created
  kReadOnly,   // nothing is created or written, a missing file fails
};

// What kind of failure SQLite reported last; the rest are kOther.
enum class SqlFailure { kNone, kBusy, kNotADatabase, kCorrupt, kOther };

class SqlConnection {
 public:
  // Called with the number of retries so far while another connection holds the
  // lock; true to try again, false to give up (the statement fails busy).
  using BusyHandler = std::function<bool(int attempt)>;

  SqlConnection() = default;
  ~SqlConnection() { Close(); }
  SqlConnection(SqlConnection&& other) noexcept;
  SqlConnection& operator=(SqlConnection&& other) noexcept;
  SqlConnection(const SqlConnection&) = delete;
  SqlConnection& operator=(const SqlConnection&) = delete;

  // Opens the file at path (UTF-8). asUri: path is a "file:" URI whose query may
  // set more options. On failure the connection stays until Close, so that
  // ErrorMessage and LastFailure can say why; IsOpen is false.
  bool Open(const std::string& path, SqlAccess access, bool asUri = false);
  void Close();
  bool IsOpen() const { return db_ != nullptr && open_; }

  // Busy policy: a statement that finds the file locked retries for up to limit,
  // or as long as handler says.
  void WaitWhileBusy(std::chrono::milliseconds limit);
  void WaitWhileBusy(BusyHandler handler);
  // Failures carry their extended code (an I/O error says which).
  void UseExtendedCodes();

  // Runs every statement of sql, discarding rows; false on the first failure.
  bool Execute(const char* sql);
  // Inside an explicit transaction (BEGIN without its COMMIT or ROLLBACK yet).
  bool InTransaction() const;
  int64_t LastInsertKey() const;

  // SQLite's message of the last failure, "out of memory" when no connection could
  // even be made.
  std::string ErrorMessage() const;
  SqlFailure LastFailure() const;

  // For the statements of this folder only: no other folder includes SQLite.
  sqlite3* Handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
  bool open_ = false;
  // Heap-held, so that the handler SQLite calls stays where it is when the
  // connection moves.
  std::unique_ptr<BusyHandler> busy_;
};

}  // namespace Database
