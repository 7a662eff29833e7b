#pragma once
// LoadPointDatabase: the connection to Brumevale.data, its schema, its transactions
// and every record operation on its tables, with its own log.
//
// Record operations build their statement with SqlText and run it as a prepared
// statement with bound values (statement_cache.h); schema, settings and transaction
// statements are plain SQL text run through sqlite3_exec. Results follow one
// convention throughout:
//   insert            -> the new row's key, or -1 when the statement failed
//   update or delete  -> 1 when the statement ran (also when no row matched), else 0
//   find or request   -> 1 when the query ran and produced at least one row, else 0
// Failures are written to the database log as "ERROR(<operation>): <message>";
// queries, schema, settings and transaction failures also go to the console lines
// (SendConsoleLinesTo), which the program that owns the console prints.
// Nothing is thrown.
//
// Threads: the object takes no lock. The engine uses it from one thread at a time.
// Other processes may use the same file: a statement that finds the file locked
// waits in steps of 500 ms until the lock is released, however long that takes.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/event_origin.h"
#include "database/extended_event_data.h"
#include "database/file_information.h"
#include "database/load_point_index.h"
#include "database/row_readers.h"
#include "database/sql_connection.h"
#include "database/sql_statement.h"
#include "database/sql_text.h"
#include "database/statement_cache.h"
#include "platform/system.h"
#include "util/app_settings.h"
#include "util/vyr_log.h"

namespace Database {

class LoadPointDatabase {
 public:
  // Opens (truncating) the database log "<log directory>\<logName>", or
  // "Database_Log.txt" when logName is empty. settings must outlive the object.
  LoadPointDatabase(Platform::System& system, VyrUtilities::VyrAppSettings& settings,
                    std::u16string_view logName);
  ~LoadPointDatabase();
  LoadPointDatabase(const LoadPointDatabase&) = delete;
  LoadPointDatabase& operator=(const LoadPointDatabase&) = delete;

  // Receives each console text exactly as it is to be shown (no line end is added).
  using ConsoleSink = std::function<void(std::string_view text)>;
  // Where the console texts go; until it is set they are only in the log.
  void SendConsoleLinesTo(ConsoleSink sink) { console_ = std::move(sink); }

  // path is the Windows path of the file. Read-write creates a missing file and its
  // tables; read-only creates and alters nothing and fails on a missing file.
  bool OpenDatabase(std::u16string_view path, bool readOnly);
  bool SetDatabaseSettings();
  bool CreateTables();
  bool BeginTransaction();
  // Commits whatever ran since BeginTransaction. A commit that fails and leaves the
  // transaction open is rolled back, so the connection is never left inside one.
  bool EndTransaction();
  // Undoes the open transaction, if any; true when there was one. Like every
  // transaction that ends without its commit, it drops the load-point index. The
  // live batch ends its transaction this way after a failed write, a rescan when the
  // service's stop interrupts it.
  bool RollbackTransaction();
  // Forgets the in-memory load-point index: it may hold rows that are gone. The next
  // lookup by identity reads the table again.
  void InvalidateLoadPointIndex();

  // A batch of live writes in one transaction, begun by the batch's first statement
  // (its first lookup, or its first write) so that whatever is read and checked
  // before it (file facts, signatures) holds no lock, and the event's lookups share
  // the lock of its writes. Inside a transaction that is already open (a rescan's)
  // the batch begins none. A write that fails rolls the batch's transaction back,
  // which leaves the connection outside any transaction, and the writes after it are
  // refused until EndBatchEvent: an event is written whole or not at all.
  void OpenBatch();
  // Between two events: writes are admitted again.
  void EndBatchEvent();
  // Commits what the batch wrote so far and keeps the batch open; false when the
  // commit failed (and was rolled back).
  bool CommitBatch();
  // Commits and ends the batch.
  bool CloseBatch();
  // How long the batch's transaction has held the exclusive lock; zero when none is
  // open.
  std::chrono::steady_clock::duration BatchLockHeld() const;
  bool CloseDatabase();
  bool IsOpen() const { return db_.IsOpen(); }

  // LoadPoints. Adding a load point also creates its empty notification list.
  int32_t AddLoadPointEntry(int32_t lpType, std::u16string_view userId,
                            std::u16string_view entryName, std::u16string_view commandLine,
                            std::u16string_view displayName);
  int32_t UpdateLoadPointEntry(int32_t key, int32_t changeEventKey);
  int32_t UpdateLoadPointEntry(int32_t key, std::u16string_view commandLine);
  int32_t UpdateLoadPointDisplayName(int32_t key, std::u16string_view displayName);
  int32_t UpdateLoadPointEntryIndirectionKey(int32_t key, int32_t indirectionKey);
  int32_t RemoveLoadPointEntry(int32_t key);
  int32_t FindLoadPointEntry(int32_t key, LoadPointRows& rows);
  int32_t FindLoadPointEntry(int32_t lpType, std::u16string_view userId,
                             std::u16string_view entryName, LoadPointRows& rows);
  // Services, service DLLs and drivers share one name space per control set.
  int32_t FindServiceEntry(std::u16string_view userId, std::u16string_view entryName,
                           LoadPointRows& rows);
  // keysOnly: only KEY, CHANGE_EVENT_KEY, INDIRECTION_KEY, USER_ID and LP_TYPE.
  // Rows come in ascending key order.
  int32_t RequestLoadPointEntries(int32_t lpType, LoadPointRows& rows, bool keysOnly = false);
  int32_t RequestLoadPointEntries(LoadPointRows& rows, bool keysOnly = false, int32_t minKey = 0);
  // Adds every KEY of table to keys; true when the query ran, even without rows.
  bool RequestKeysFromTable(std::set<int32_t>& keys, std::u16string_view table);
  // The load point with its Indirection row and notification list.
  void DeleteLoadPoint(int32_t key);

  // ChangeEvents. An empty eventTime stores SQLite's local time.
  int32_t AddChangeEventEntry(std::u16string_view eventTime, int32_t loadPointKey,
                              int32_t processKey, int32_t eventType);
  int32_t AddChangeEventEntry(int32_t loadPointKey, int32_t processKey, int32_t eventType);

  // Indirection. Adding one also points the load point at it.
  int32_t AddIndirectionEntry(int32_t lpKey, std::u16string_view entryName,
                              std::u16string_view commandLine);
  int32_t UpdateIndirectionEntry(int32_t key, std::u16string_view entryName,
                                 std::u16string_view commandLine);
  int32_t UpdateIndirectionEntryCommandLine(int32_t key, std::u16string_view commandLine);
  int32_t RemoveIndirectionEntry(int32_t key);
  int32_t RemoveLoadPointsIndirectionEntry(int32_t lpKey);
  int32_t FindIndirectionEntry(int32_t lpKey, IndirectionRows& rows);
  int32_t FindIndirectionEntryByKey(int32_t key, IndirectionRows& rows);

  // EventOrigin (event_origin.h): the event's key, or -1 on failure. Nothing is
  // written for an event of the driver that changes no state (0). A second write for
  // the same event merges into its row (each column keeps its non-zero value).
  int32_t AddEventOriginEntry(int32_t changeEventKey, ChangeOrigin origin,
                              LoadPointStateChange stateChange = LoadPointStateChange::kNone);
  // Whether the newest removal event (EVENT_TYPE 2) of a load point was a disable
  // (EventOrigin STATE_CHANGE 1): its ExtendedEvent has one of types as PARAM_0,
  // userId as PARAM_2 and one of names (letter case ignored) as PARAM_1. 1 when it
  // was, 0 when it was not, when there is none, or when the query fails.
  int32_t FindLastRemovalDisabled(std::span<const int32_t> types, std::u16string_view userId,
                                  std::span<const std::u16string> names);

  // UtcOffsets: adds a row (since, offsetMinutes) only when offsetMinutes differs
  // from the latest row's. 1 when the statement ran, else 0.
  int32_t AddUtcOffsetEntry(std::u16string_view since, int32_t offsetMinutes);
  // UserNames (SID, NAME "DOMAIN\name", SINCE): sets the name a SID's account had
  // when since was now. 1 when the statements ran, else 0.
  int32_t AddUserNameEntry(std::u16string_view sid, std::u16string_view name, std::u16string_view since);

  // ExtendedEvent: 1 or 0 (not the new key).
  int32_t AddExtendedEventEntry(const ExtendedEventData& data);

  // SystemSetting. A negative changeEventKey and no value leave the row alone (0).
  int32_t AddSystemSetting(int32_t type, std::u16string_view userId, std::u16string_view path,
                           std::u16string_view currentValue);
  int32_t UpdateSystemSettingEntry(int32_t key, int32_t changeEventKey,
                                   std::optional<std::u16string_view> currentValue = std::nullopt);
  int32_t UpdateSystemSettingEntry(int32_t key, std::u16string_view currentValue);
  int32_t FindSystemSetting(int32_t type, std::u16string_view userId, SystemSettingRows& rows);

  // FileExtension. The insert takes the value before the verb, as its callers always
  // have; the row stores the verb first.
  int32_t AddFileExtenstionEntry(int32_t type, std::u16string_view userId,
                                 std::u16string_view entryId, std::u16string_view entryValue,
                                 std::u16string_view verb);
  int32_t UpdateFileExtensionEntry(int32_t key, int32_t changeEventKey,
                                   std::optional<std::u16string_view> entryValue = std::nullopt);
  int32_t UpdateFileExtensionEntry(int32_t key, std::u16string_view entryValue);
  int32_t RemoveFileExtensionEntry(int32_t key);
  int32_t FindFileExtensionEntry(int32_t type, std::u16string_view userId,
                                 std::u16string_view entryId, std::u16string_view verb,
                                 FileExtensionRows& rows);
  int32_t FindFileExtensionEntry(int32_t key, FileExtensionRows& rows);

  // Processes and DigitalSignatures.
  int32_t AddProcessEntry(const FileInformation& fileInfo, int32_t signatureKey, bool isBrowser);
  int32_t AddDownloadDataToProcessFile(int32_t key, std::u16string_view downloadData);
  int32_t AddDigitalSignatureEntry(std::u16string_view signerName, std::u16string_view signerEmail,
                                   std::u16string_view signedTime, int32_t valid);
  int32_t UpdateDigitalSignatureEntry(int32_t key, int32_t counterSignerKey);
  int32_t FindDigitalSignatureEntry(int32_t key, DigitalSignatureRows& rows);
  // Removes the row and then its counter-signer's row; 0 when the key is unknown.
  int32_t RemoveDigitalSignatureEntry(int32_t key);

  // NotifyList and Notify.
  int32_t AddNotifyListEntry(int32_t key);
  int32_t FindNotifyListEntry(int32_t key, NotifyListRows& rows);
  int32_t AddNotifyKeyToNotifyList(int32_t listKey, int32_t notifyKey);
  int32_t AddNotifyEntry(int32_t listKey, int32_t notifyType, std::u16string_view info);
  int32_t RemoveNotifyEntry(int32_t key);
  // The list's Notify rows, then the list itself; 0 when there is no list.
  int32_t RemoveLoadPointsNotifyListEntry(int32_t listKey);
  // Appends the keys held by NOTIFY_KEYS of row to keys; false when there are none.
  bool ParseNotifyKeys(const NotifyListRows& rows, std::vector<int32_t>& keys, uint32_t row);

  // The common error report: "ERROR(operation)[ [table]]: message" as one
  // time-stamped line of the database log; with print also "ERROR(operation): message"
  // to the console sink. Frees message (an sqlite3_malloc'ed text, may be null).
  void ReportSqlError(std::string_view operation, char* message, bool print,
                      std::string_view table = {});

 private:
  // Runs sql; on failure reports it under operation and returns false.
  bool Execute(const std::string& sql, std::string_view operation, bool print,
               QueryResult* rows = nullptr);
  // Runs a record operation's statement; on failure reports it under operation and
  // returns false.
  bool Run(const SqlText& sql, std::string_view operation, bool print, QueryResult* rows = nullptr);
  // Binds sql's values to the parameters of its prepared statement.
  static bool BindValues(const SqlText& sql, SqlStatement& statement);
  // The three result conventions.
  int32_t Insert(const SqlText& sql, std::string_view operation);
  int32_t Change(const SqlText& sql, std::string_view operation);
  int32_t Query(const SqlText& sql, std::string_view operation, RowReader& rows);
  // The batch's part in a write: begins its transaction before the first write;
  // false when the write must not run.
  bool BatchAdmitsWrite();
  // The same before a read: a batch that may still write begins its transaction.
  void BatchTakesRead();
  // After a failed write: a batch's transaction is rolled back.
  void AfterFailedWrite();
  // SQLite ended the open transaction by itself (a full disk, an I/O error).
  void TransactionLost();
  // The load-point index, read again when it was dropped or another connection has
  // changed the file since; false when it cannot be read (lookups then query).
  bool LoadPointIndexReady();
  bool LoadLoadPointIndex();
  // PRAGMA data_version: changes when another connection commits; -1 on failure.
  int64_t DataVersion();
  // The LoadPoints rows of keys (ascending), like a lookup query's result.
  int32_t QueryLoadPointKeys(const std::vector<int32_t>& keys, std::string_view operation,
                             LoadPointRows& rows);
  // Runs one CREATE TABLE (table set: failure reported, false) or one migration
  // statement (table empty: failure expected on every later open, ignored).
  bool RunSchemaStep(const char* sql, std::string_view table);
  // Files from an earlier release keep a QUARANTINE_KEY column in LoadPoints, which
  // the positional inserts cannot fill. Removed once, in one transaction; a failure
  // rolls back and leaves the file as it was. False only when the file needed the
  // conversion and it failed.
  bool ConvertLegacyLoadPoints();
  bool HasLegacyQuarantineColumn();
  // The busy handler: waits, and says once per statement why it waits.
  bool WaitWhileBusy(int attempt);
  int32_t UpdateSetting(std::string_view table, std::string_view valueColumn,
                        std::string_view operation, int32_t key, int32_t changeEventKey,
                        std::optional<std::u16string_view> value);

  Platform::System& system_;
  VyrUtilities::VyrAppSettings& settings_;
  VyrUtilities::VyrLog log_;
  ConsoleSink console_;
  SqlConnection db_;
  // False while a read-write connection lacks part of its schema (a full disk or a
  // failed conversion at open); BeginTransaction then tries CreateTables again.
  bool schemaReady_ = false;

  struct Batch {
    bool open = false;
    bool owned = false;    // its transaction is open
    bool refused = false;  // a write of this event failed: the rest of it is not written
    std::chrono::steady_clock::time_point since;
  };
  Batch batch_;
  LoadPointIndex index_;
  int64_t indexVersion_ = -1;
  // indexVersion_ was read inside the open transaction; cleared when one begins or ends.
  bool versionHeld_ = false;
  StatementCache statements_;
};

}  // namespace Database
