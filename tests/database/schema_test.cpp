#include <cstdio>
#include <cstdlib>

#include "database_fixture.h"

namespace Database {

namespace {

// Table by table, column by column, as the service has always laid the file out.
const std::vector<std::pair<std::string, std::string>> kSchema = {
    {"LoadPoints",
     "KEY INTEGER,LP_TYPE INTEGER,USER_ID VARCHAR,ENTRY_NAME VARCHAR,COMMAND_LINE VARCHAR,"
     "CHANGE_EVENT_KEY INTEGER,CREATION_TIME DATE,INDIRECTION_KEY INTEGER,DISPLAY_NAME VARCHAR"},
    {"ChangeEvents",
     "KEY INTEGER,EVENT_TIME VARCHAR,PROCESS_ENTRY_KEY INTEGER,LOAD_POINT_KEY INTEGER,"
     "EVENT_TYPE INTEGER"},
    {"Processes",
     "KEY INTEGER,PROCESS_PATH VARCHAR,PROCESS_FILE_NAME VARCHAR,FILE_SIZE VARCHAR,"
     "FILE_CREATED VARCHAR,FILE_MODIFIED VARCHAR,FILE_ACCESSED VARCHAR,VERSION VARCHAR,"
     "DESCRIPTION VARCHAR,COPYRIGHT VARCHAR,COMMENTS VARCHAR,COMPANY_NAME VARCHAR,"
     "INTERNAL_NAME VARCHAR,LEGAL_TRADEMARKS VARCHAR,ORIGINAL_FILE_NAME VARCHAR,"
     "PRODUCT_NAME VARCHAR,PRODUCT_VERSION VARCHAR,BROWSER_PROCESS VARCHAR,"
     "DIGITAL_SIGNATURE_KEY INTEGER,DOWNLOAD_DATA VARCHAR"},
    {"Indirection", "KEY INTEGER,LP_KEY INTEGER,ENTRY_NAME VARCHAR,COMMAND_LINE VARCHAR"},
    {"DigitalSignatures",
     "KEY INTEGER,SIGNER_NAME VARCHAR,SIGNER_EMAIL VARCHAR,SIGNED_TIME VARCHAR,VALID VARCHAR,"
     "COUNTER_SIGNER_KEY INTEGER"},
    {"Quarantine",
     "KEY INTEGER,OLD_LP_KEY INTEGER,LP_TYPE INTEGER,USER_ID VARCHAR,ENTRY_NAME VARCHAR,"
     "COMMAND_LINE VARCHAR,DISPLAY_NAME VARCHAR,CHANGE_EVENT_KEY INTEGER,CREATION_TIME DATE,"
     "INDIRECTION_NAME VARCHAR,INDIRECTION_COMMAND_LINE VARCHAR,QUARANTINE_TIME DATE,"
     "RESTORE_GUID VARCHAR,REASON INTEGER,RESTORE_TARGET_PATH VARCHAR"},
    {"NotifyList", "KEY INTEGER,NOTIFY_KEYS VARCHAR"},
    {"Notify", "KEY INTEGER,LIST_KEY INTEGER,NOTIFY_TYPE INTEGER,NOTIFY_TIME DATE,INFO VARCHAR"},
    {"SystemSetting",
     "KEY INTEGER,TYPE INTEGER,USER_ID VARCHAR,PATH VARCHAR,CURRENT_VALUE VARCHAR,"
     "CHANGE_EVENT_KEY INTEGER"},
    {"FileExtension",
     "KEY INTEGER,TYPE INTEGER,USER_ID VARCHAR,ENTRY_ID VARCHAR,VERB VARCHAR,ENTRY_VALUE VARCHAR,"
     "CHANGE_EVENT_KEY INTEGER"},
    {"ExtendedEvent",
     "KEY INTEGER,CHANGE_EVENT_KEY INTEGER,EX_EVENT_TYPE INTEGER,PARAM_0 VARCHAR,PARAM_1 VARCHAR,"
     "PARAM_2 VARCHAR,PARAM_3 VARCHAR,PARAM_4 VARCHAR,PARAM_5 VARCHAR"},
    {"EvalReport",
     "KEY INTEGER,LP_KEY INTEGER,CHANGE_EVENT_KEY INTEGER,EVAL_RESULT INTEGER,ASR_RATING INTEGER,"
     "EVAL_TAGS VARCHAR,VRESULT VARCHAR"},
    {"bv_state", "KEY INTEGER,STATE_TYPE INTEGER,VALUE_1 VARCHAR,VALUE_2 VARCHAR,VALUE_3 VARCHAR"},
    {"Alert",
     "KEY INTEGER,ALERT_TYPE INTEGER,ALERT_TIME DATE,STR_VAL_1 VARCHAR,STR_VAL_2 VARCHAR,"
     "STR_VAL_3 VARCHAR,INT_VAL_1 INTEGER,INT_VAL_2 INTEGER,INT_VAL_3 INTEGER"},
    // Additive tables: how an event was learnt, and the machine's UTC offsets.
    {"EventOrigin", "CHANGE_EVENT_KEY INTEGER,ORIGIN INTEGER,STATE_CHANGE INTEGER"},
    {"UtcOffsets", "KEY INTEGER,SINCE VARCHAR,OFFSET_MINUTES INTEGER"},
};

class SchemaTest : public DatabaseTest {
 protected:
  std::string Columns(const std::string& table) {
    std::string text;
    for (const auto& row : Sql("PRAGMA table_info(" + table + ")")) {
      text += (text.empty() ? "" : ",") + row[1] + " " + row[2];
    }
    return text;
  }
  SqlRows Objects(const std::string& type) {
    return Sql("SELECT name, tbl_name FROM sqlite_master WHERE type = '" + type +
               "' AND name NOT LIKE 'sqlite_%' ORDER BY name");
  }
  // Builds the file with another program first, as a file from an earlier release.
  void Prepare(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(HostPath(DataPath()).c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
  }
};

TEST_F(SchemaTest, FreshFileHoldsTheFourteenTablesTheAdditiveOnesAndFiveIndexes) {
  auto db = OpenNew();
  SqlRows tables = Objects("table");
  ASSERT_EQ(tables.size(), kSchema.size());
  for (const auto& [table, columns] : kSchema) EXPECT_EQ(Columns(table), columns) << table;
  const SqlRows expectedIndexes = {{"CHANGE_EVENT_KEY_INDEX", "ExtendedEvent"},
                                   {"DISABLED_EVENT_INDEX", "EventOrigin"},
                                   {"ENTRY_ID_INDEX", "FileExtension"},
                                   {"LP_KEY_INDEX", "Indirection"},
                                   {"LP_TYPE_INDEX", "LoadPoints"}};
  EXPECT_EQ(Objects("index"), expectedIndexes);
  // Keys of the generated tables are never reused; the others are plain row ids.
  EXPECT_EQ(Sql("SELECT sql LIKE '%AUTOINCREMENT%' FROM sqlite_master WHERE name = 'NotifyList'"),
            (SqlRows{{"0"}}));
  // The journal is kept between transactions rather than deleted.
  db->AddLoadPointEntry(1, u"", u"Name", u"a.exe", u"");
  EXPECT_TRUE(std::filesystem::exists(HostPath(DataPath()) + "-journal"));
}

TEST_F(SchemaTest, ReopeningKeepsRowsAlthoughEveryMigrationFails) {
  OpenNew()->AddLoadPointEntry(1, u"", u"Name", u"a.exe", u"");
  auto db = OpenNew();
  EXPECT_EQ(Objects("table").size(), kSchema.size());
  EXPECT_EQ(Sql("SELECT ENTRY_NAME FROM LoadPoints"), (SqlRows{{"Name"}}));
  EXPECT_EQ(LogText().find(u"ERROR"), std::u16string::npos) << "an expected failure was logged";
}

TEST_F(SchemaTest, OlderFilesGainTheAddedColumnsAndOldRowsReadThemAsEmpty) {
  Prepare(
      "CREATE TABLE LoadPoints (KEY INTEGER PRIMARY KEY AUTOINCREMENT, LP_TYPE INTEGER, "
      "USER_ID VARCHAR, ENTRY_NAME VARCHAR, COMMAND_LINE VARCHAR, CHANGE_EVENT_KEY INTEGER, "
      "CREATION_TIME DATE, INDIRECTION_KEY INTEGER);"
      "INSERT INTO LoadPoints VALUES (4, 1, '', 'Old', 'old.exe', 0, '2020-01-01', 0);"
      "CREATE TABLE ChangeEvents (KEY INTEGER PRIMARY KEY AUTOINCREMENT, EVENT_TIME VARCHAR, "
      "PROCESS_ENTRY_KEY INTEGER, LOAD_POINT_KEY INTEGER);");
  auto db = OpenNew();
  EXPECT_EQ(Columns("LoadPoints"), kSchema[0].second);
  EXPECT_EQ(Columns("ChangeEvents"), kSchema[1].second);
  LoadPointRows rows;
  ASSERT_EQ(db->FindLoadPointEntry(4, rows), 1);
  EXPECT_EQ(rows.ENTRY_NAME(0), u"Old");
  EXPECT_EQ(rows.DISPLAY_NAME(0), u"");
  EXPECT_EQ(Sql("SELECT DISPLAY_NAME IS NULL FROM LoadPoints"), (SqlRows{{"1"}}));
  EXPECT_EQ(db->AddLoadPointEntry(1, u"", u"New", u"new.exe", u"Shown"), 5);
}

// A file from an earlier release: QUARANTINE_KEY sits between the other columns,
// the newest keys were deleted (the counter is ahead of the rows) and an index
// hangs on the table.
constexpr char kLegacyLoadPoints[] =
    "CREATE TABLE LoadPoints (KEY INTEGER PRIMARY KEY AUTOINCREMENT, LP_TYPE INTEGER, "
    "USER_ID VARCHAR, ENTRY_NAME VARCHAR, COMMAND_LINE VARCHAR, CHANGE_EVENT_KEY INTEGER, "
    "CREATION_TIME DATE, QUARANTINE_KEY INTEGER, INDIRECTION_KEY INTEGER);"
    "CREATE INDEX LP_TYPE_INDEX ON LoadPoints (LP_TYPE);"
    "INSERT INTO LoadPoints VALUES (4, 1, '', 'Old', 'old.exe', 7, '2020-01-01', 3, 2);"
    "INSERT INTO LoadPoints VALUES (9, 12, 'ControlSet001', 'O''Svc', 'svc.exe', 0, '2020-01-02', 0, 0);"
    "INSERT INTO LoadPoints VALUES (20, 1, '', 'Gone', 'gone.exe', 0, '2020-01-03', 0, 0);"
    "DELETE FROM LoadPoints WHERE KEY = 20;";
constexpr char kLegacyRows[] = "SELECT KEY, LP_TYPE, USER_ID, ENTRY_NAME, COMMAND_LINE, "
                               "CHANGE_EVENT_KEY, CREATION_TIME, INDIRECTION_KEY FROM LoadPoints";
constexpr char16_t kConvertedLine[] =
    u"-Converted LoadPoints from an earlier schema: QUARANTINE_KEY removed, 2 rows kept.\r\n";

TEST_F(SchemaTest, ALegacyQuarantineColumnIsConvertedOnceKeepingRowsKeysAndCounter) {
  Prepare(kLegacyLoadPoints);
  const SqlRows before = Sql(kLegacyRows);
  auto db = OpenNew();
  EXPECT_EQ(Columns("LoadPoints"), kSchema[0].second);
  EXPECT_EQ(Sql(kLegacyRows), before);
  EXPECT_EQ(Sql("SELECT seq FROM sqlite_sequence WHERE name = 'LoadPoints'"), (SqlRows{{"20"}}));
  const std::u16string log = LogText();
  EXPECT_NE(log.find(kConvertedLine), std::u16string::npos) << "one line tells of the conversion";
  EXPECT_EQ(log.find(u"ERROR"), std::u16string::npos);
  // Every operation works on the converted table, and keys go on after the counter.
  EXPECT_EQ(db->AddLoadPointEntry(1, u"", u"New", u"new.exe", u"Shown"), 21);
  LoadPointRows rows;
  ASSERT_EQ(db->FindLoadPointEntry(12, u"ControlSet001", u"O'Svc", rows), 1);
  EXPECT_EQ(rows.COMMAND_LINE(0), u"svc.exe");
  db->DeleteLoadPoint(4);
  db.reset();
  OpenNew();
  EXPECT_EQ(LogText().find(u"Converted"), std::u16string::npos) << "converted a second time";
}

TEST_F(SchemaTest, AFailedConversionLeavesTheFileAsItWasUntilTheNextOpen) {
  // A view of another program that reads the column makes SQLite refuse the drop.
  Prepare(std::string(kLegacyLoadPoints) +
          "CREATE VIEW Held AS SELECT KEY, QUARANTINE_KEY FROM LoadPoints;");
  const SqlRows schema = Sql("SELECT sql FROM sqlite_master");
  const SqlRows rows = Sql("SELECT * FROM LoadPoints");
  auto db = std::make_unique<LoadPointDatabase>(system_, settings_, kLogName);
  EXPECT_FALSE(db->OpenDatabase(DataPath(), false));
  EXPECT_EQ(Sql("SELECT sql FROM sqlite_master"), schema);
  EXPECT_EQ(Sql("SELECT * FROM LoadPoints"), rows);
  EXPECT_NE(LogText().find(u"ERROR(ConvertLoadPoints): "), std::u16string::npos);
  EXPECT_EQ(LogText().find(u"Converted"), std::u16string::npos);
  db.reset();
  Prepare("DROP VIEW Held");
  OpenNew();
  EXPECT_NE(LogText().find(kConvertedLine), std::u16string::npos);
  EXPECT_EQ(Sql(kLegacyRows).size(), 2u);
}

TEST_F(SchemaTest, ReadOnlyOpenCreatesNothing) {
  LoadPointDatabase db(system_, settings_, kLogName);
  EXPECT_FALSE(db.OpenDatabase(DataPath(), true));
  EXPECT_FALSE(db.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(HostPath(DataPath())));
  EXPECT_NE(LogText().find(u"ERROR(OpenDatabase): Failed to open database.\r\n"),
            std::u16string::npos);

  Prepare("CREATE TABLE LoadPoints (KEY INTEGER PRIMARY KEY, ENTRY_NAME VARCHAR)");
  ASSERT_TRUE(db.OpenDatabase(DataPath(), true));
  EXPECT_EQ(Objects("table").size(), 1u);
  EXPECT_EQ(Columns("LoadPoints"), "KEY INTEGER,ENTRY_NAME VARCHAR");
  EXPECT_EQ(db.AddLoadPointEntry(1, u"", u"x", u"y", u""), -1);
}

TEST_F(SchemaTest, APathOnNoDriveIsNotOpened) {
  LoadPointDatabase db(system_, settings_, u"");
  EXPECT_FALSE(db.OpenDatabase(u"Q:\\nowhere\\Brumevale.data", false));
  EXPECT_TRUE(std::filesystem::exists(HostPath(settings_.LogDirectory() + u"\\Database_Log.txt")));
}

TEST_F(SchemaTest, StockShellReadsEveryTable) {
  if (std::system("sqlite3 -version > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "the sqlite3 shell is not installed";
  }
  auto db = OpenNew();
  db->AddLoadPointEntry(1, u"S-1-5-18", u"R\u00e4n", u"c:\\x.exe", u"");
  db->CloseDatabase();
  for (const auto& [table, columns] : kSchema) {
    const std::string command = "sqlite3 -readonly '" + HostPath(DataPath()) +
                                "' 'SELECT COUNT(*) FROM " + table + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[128] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    EXPECT_EQ(pclose(pipe), 0) << table << ": " << line;
    EXPECT_TRUE(read) << table;
    const bool oneRow = table == "LoadPoints" || table == "NotifyList";
    EXPECT_STREQ(line, oneRow ? "1\n" : "0\n") << table;
  }
}

}  // namespace

}  // namespace Database
