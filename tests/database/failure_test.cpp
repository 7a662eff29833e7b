#include "database_fixture.h"

namespace Database {

namespace {

class FailureTest : public DatabaseTest {};

TEST_F(FailureTest, EveryOperationFailsWithoutAConnection) {
  auto db = OpenNew();
  const int32_t lp = db->AddLoadPointEntry(1, u"", u"Run", u"run.exe", u"");
  const int32_t signer = db->AddDigitalSignatureEntry(u"S", u"", u"", 1);
  ASSERT_TRUE(db->CloseDatabase());
  EXPECT_TRUE(db->CloseDatabase());
  console_.clear();

  LoadPointRows lps;
  IndirectionRows ind;
  SystemSettingRows sys;
  FileExtensionRows ext;
  DigitalSignatureRows sig;
  NotifyListRows notes;
  std::set<int32_t> keys;
  ExtendedEventData data;
  data.extendedEventType = 1;
  // Inserts give -1.
  EXPECT_EQ(db->AddLoadPointEntry(1, u"", u"n", u"c", u""), -1);
  EXPECT_EQ(db->AddChangeEventEntry(lp, 0, 1), -1);
  EXPECT_EQ(db->AddChangeEventEntry(u"t", lp, 0, 1), -1);
  EXPECT_EQ(db->AddIndirectionEntry(lp, u"n", u"c"), -1);
  EXPECT_EQ(db->AddSystemSetting(1, u"", u"p", u"v"), -1);
  EXPECT_EQ(db->AddFileExtenstionEntry(1, u"", u"e", u"v", u""), -1);
  EXPECT_EQ(db->AddProcessEntry(FileInformation{}, 0, false), -1);
  EXPECT_EQ(db->AddDigitalSignatureEntry(u"s", u"", u"", 0), -1);
  EXPECT_EQ(db->AddNotifyListEntry(lp), -1);
  EXPECT_EQ(db->AddNotifyEntry(lp, 1, u"i"), -1);
  // The extended row, updates, deletes, finds and requests give 0.
  for (int32_t result : {
           db->AddExtendedEventEntry(data),
           db->UpdateLoadPointEntry(lp, 1),
           db->UpdateLoadPointEntry(lp, u"c"),
           db->UpdateLoadPointDisplayName(lp, u"d"),
           db->UpdateLoadPointEntryIndirectionKey(lp, 1),
           db->RemoveLoadPointEntry(lp),
           db->FindLoadPointEntry(lp, lps),
           db->FindLoadPointEntry(1, u"", u"Run", lps),
           db->FindServiceEntry(u"", u"Run", lps),
           db->RequestLoadPointEntries(1, lps),
           db->RequestLoadPointEntries(lps, true),
           db->UpdateIndirectionEntry(1, u"n", u"c"),
           db->UpdateIndirectionEntryCommandLine(1, u"c"),
           db->RemoveIndirectionEntry(1),
           db->RemoveLoadPointsIndirectionEntry(lp),
           db->FindIndirectionEntry(lp, ind),
           db->FindIndirectionEntryByKey(1, ind),
           db->UpdateSystemSettingEntry(1, 1, u"v"),
           db->UpdateSystemSettingEntry(1, u"v"),
           db->FindSystemSetting(1, u"", sys),
           db->UpdateFileExtensionEntry(1, 1, u"v"),
           db->UpdateFileExtensionEntry(1, u"v"),
           db->RemoveFileExtensionEntry(1),
           db->FindFileExtensionEntry(1, u"", u"e", u"", ext),
           db->FindFileExtensionEntry(1, ext),
           db->AddDownloadDataToProcessFile(1, u"d"),
           db->UpdateDigitalSignatureEntry(signer, 1),
           db->FindDigitalSignatureEntry(signer, sig),
           db->RemoveDigitalSignatureEntry(signer),
           db->FindNotifyListEntry(lp, notes),
           db->AddNotifyKeyToNotifyList(lp, 1),
           db->RemoveNotifyEntry(1),
           db->RemoveLoadPointsNotifyListEntry(lp),
       }) {
    EXPECT_EQ(result, 0);
  }
  EXPECT_FALSE(db->RequestKeysFromTable(keys, u"LoadPoints"));
  db->DeleteLoadPoint(lp);
  EXPECT_TRUE(keys.empty());
  EXPECT_FALSE(db->BeginTransaction());
  EXPECT_FALSE(db->EndTransaction());
  EXPECT_FALSE(db->SetDatabaseSettings());
  EXPECT_FALSE(db->CreateTables());
  const std::string printed = console_;
  EXPECT_NE(printed.find("ERROR(FindLoadPointEntry): "), std::string::npos);
  EXPECT_EQ(printed.find("ERROR(AddLoadPointEntry)"), std::string::npos) << "writes only log";
  EXPECT_NE(LogText().find(u"] ERROR(AddLoadPointEntry): bad parameter or other API misuse\r\n"),
            std::u16string::npos);
  // Nothing was written behind the closed connection.
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM LoadPoints"), (SqlRows{{"1"}}));
}

TEST_F(FailureTest, ErrorsAreLoggedUnderTheirOperationAndQueriesAlsoPrinted) {
  auto db = OpenNew();
  const int32_t lp = db->AddLoadPointEntry(1, u"", u"Run", u"run.exe", u"");
  console_.clear();
  EXPECT_EQ(db->AddNotifyListEntry(lp), -1);  // the list exists already
  std::set<int32_t> keys;
  EXPECT_FALSE(db->RequestKeysFromTable(keys, u"T\u00e4bles"));
  EXPECT_TRUE(db->BeginTransaction());
  EXPECT_FALSE(db->BeginTransaction());
  EXPECT_TRUE(db->EndTransaction());
  EXPECT_EQ(console_,
            "ERROR(RequestKeysFromTable): no such table: T\xC3\xA4" "bles"
            "ERROR(BeginTransaction): cannot start a transaction within a transaction");

  const std::u16string log = LogText();
  const auto line = [&](std::u16string_view text) {
    // "[HH:MM:SS] text\r\n"
    const size_t at = log.find(std::u16string(text) + u"\r\n");
    return at != std::u16string::npos && at >= 11 && log[at - 11] == u'[' && log[at - 2] == u']';
  };
  EXPECT_TRUE(line(u"-Opening Database: " + DataPath()));
  EXPECT_TRUE(line(u"-Setting Database Settings."));
  EXPECT_TRUE(line(u"-Set Database Settings Complete."));
  EXPECT_TRUE(line(u"-Open Database Complete."));
  EXPECT_TRUE(line(u"ERROR(AddNotifyListEntry): UNIQUE constraint failed: NotifyList.KEY")) << "log";
  // SQLite's message is ANSI text to the log: the UTF-8 bytes of the name show as such.
  EXPECT_TRUE(line(u"ERROR(RequestKeysFromTable): no such table: T\u00c3\u00a4bles"));
  EXPECT_TRUE(line(u"ERROR(BeginTransaction): cannot start a transaction within a transaction"));
}

// Statements are prepared once and run again: each run, whether it found rows,
// none, or failed in the middle, must leave the file free for another writer.
// A text value holding a NUL still fails, as it did when it ended the statement's
// text inside its quotes.
TEST_F(FailureTest, StatementsRunAgainLeaveNoLockAndANulStillEndsTheirText) {
  auto db = OpenNew();
  const auto fileIsFree = [this] {
    sqlite3* probe = nullptr;
    sqlite3_open(HostPath(DataPath()).c_str(), &probe);
    const bool free = sqlite3_exec(probe, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_exec(probe, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(probe);
    return free;
  };
  for (int i = 0; i < 3; ++i) {
    const std::u16string name = u"O'Brien \u00e4" + FromAnsi(FormatInt(i));
    const int32_t key = db->AddLoadPointEntry(1, u"S-1-5-18", name, u"'x'.exe", u"");
    ASSERT_GT(key, 0);
    LoadPointRows rows;
    ASSERT_EQ(db->FindLoadPointEntry(key, rows), 1);
    EXPECT_EQ(rows.ENTRY_NAME(0), name);
    EXPECT_EQ(rows.COMMAND_LINE(0), u"'x'.exe");
    EXPECT_EQ(db->FindLoadPointEntry(key + 100, rows), 0);
    EXPECT_EQ(db->AddNotifyListEntry(key), -1);  // fails inside the step
    EXPECT_TRUE(fileIsFree()) << "run " << i;
  }
  EXPECT_EQ(db->AddLoadPointEntry(1, u"", std::u16string(u"Hid\0den", 7), u"x.exe", u""), -1);
  EXPECT_NE(LogText().find(u"ERROR(AddLoadPointEntry): unrecognized token"), std::u16string::npos);
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM LoadPoints"), (SqlRows{{"3"}}));
  // Closing finalises the statements: the connection really closes, and a new one
  // on the same object starts afresh.
  db->CloseDatabase();
  EXPECT_TRUE(fileIsFree());
  ASSERT_TRUE(db->OpenDatabase(DataPath(), false));
  LoadPointRows rows;
  EXPECT_EQ(db->FindLoadPointEntry(1, u"S-1-5-18", u"O'Brien \u00e42", rows), 1);
}

// A lookup of rows sharing one identity names every key, so each count is a
// statement of its own shape: past the cache's size the cache starts again, and
// every lookup still finds all its rows.
TEST_F(FailureTest, MoreStatementShapesThanTheCacheHoldsAreStillAnswered) {
  auto db = OpenNew();
  const size_t shapes = StatementCache::kCapacity + 12;
  for (size_t count = 1; count <= shapes; ++count) {
    ASSERT_GT(db->AddLoadPointEntry(1, u"", u"Twin", u"twin.exe", u""), 0);
    LoadPointRows rows;
    ASSERT_EQ(db->FindLoadPointEntry(1, u"", u"Twin", rows), 1);
    ASSERT_EQ(rows.Count(), count);
  }
}

TEST_F(FailureTest, AFailingTableEndsTheSchemaWithItsName) {
  {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(HostPath(DataPath()).c_str(), &raw), SQLITE_OK);
    // An index of the same name makes CREATE TABLE IF NOT EXISTS Processes fail.
    ASSERT_EQ(sqlite3_exec(raw, "CREATE TABLE t (x); CREATE INDEX Processes ON t (x)", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
  }
  LoadPointDatabase db(system_, settings_, kLogName);
  WatchConsole(db);
  EXPECT_FALSE(db.OpenDatabase(DataPath(), false));
  EXPECT_EQ(console_,
            "ERROR(CreateTables): there is already an index named Processes");
  EXPECT_TRUE(db.IsOpen()) << "the connection stays open";
  const std::u16string log = LogText();
  EXPECT_NE(log.find(u"] ERROR(CreateTables) [Processes]: "), std::u16string::npos);
  EXPECT_EQ(log.find(u"-Open Database Complete."), std::u16string::npos);
  // Tables before the failing step remain, none after it was created.
  EXPECT_EQ(Sql("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
                "ORDER BY name"),
            (SqlRows{{"ChangeEvents"}, {"LoadPoints"}, {"t"}}));
}

}  // namespace

}  // namespace Database
