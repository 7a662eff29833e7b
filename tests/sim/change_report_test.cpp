#include <stdlib.h>

#include <filesystem>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include "sim/change_report.h"

namespace {

// The tables the report reads, with the rows of a short history: a process the
// service could not name added a Run value, a process changed it, a rescan found it
// gone, a process set a policy and wrote the exefile command.
constexpr char kHistory[] = R"(
CREATE TABLE LoadPoints (KEY INTEGER PRIMARY KEY, LP_TYPE INTEGER, USER_ID VARCHAR, ENTRY_NAME VARCHAR,
  COMMAND_LINE VARCHAR, CHANGE_EVENT_KEY INTEGER, CREATION_TIME DATE, INDIRECTION_KEY INTEGER, DISPLAY_NAME VARCHAR);
CREATE TABLE ChangeEvents (KEY INTEGER PRIMARY KEY, EVENT_TIME VARCHAR, PROCESS_ENTRY_KEY INTEGER,
  LOAD_POINT_KEY INTEGER, EVENT_TYPE INTEGER);
CREATE TABLE Processes (KEY INTEGER PRIMARY KEY, PROCESS_PATH VARCHAR, PROCESS_FILE_NAME VARCHAR,
  VERSION VARCHAR, COMPANY_NAME VARCHAR, DIGITAL_SIGNATURE_KEY INTEGER, DOWNLOAD_DATA VARCHAR);
CREATE TABLE DigitalSignatures (KEY INTEGER PRIMARY KEY, SIGNER_NAME VARCHAR, SIGNER_EMAIL VARCHAR,
  SIGNED_TIME VARCHAR, VALID VARCHAR, COUNTER_SIGNER_KEY INTEGER);
CREATE TABLE SystemSetting (KEY INTEGER PRIMARY KEY, TYPE INTEGER, USER_ID VARCHAR, PATH VARCHAR,
  CURRENT_VALUE VARCHAR, CHANGE_EVENT_KEY INTEGER);
CREATE TABLE FileExtension (KEY INTEGER PRIMARY KEY, TYPE INTEGER, USER_ID VARCHAR, ENTRY_ID VARCHAR,
  VERB VARCHAR, ENTRY_VALUE VARCHAR, CHANGE_EVENT_KEY INTEGER);
CREATE TABLE ExtendedEvent (KEY INTEGER PRIMARY KEY, CHANGE_EVENT_KEY INTEGER UNIQUE, EX_EVENT_TYPE INTEGER,
  PARAM_0 VARCHAR, PARAM_1 VARCHAR, PARAM_2 VARCHAR, PARAM_3 VARCHAR, PARAM_4 VARCHAR, PARAM_5 VARCHAR);
INSERT INTO Processes VALUES (1, 'C:\Users\ann\Downloads\setup.exe', 'setup.exe', '2.1.0', 'Kelvra Tools', 1,
  'http://get.example/setup.exe' || char(10) || 'DESK\ann' || char(10) || '2024-03-01 08:59:00');
INSERT INTO Processes VALUES (2, 'c:\tools\tweak.exe', 'tweak.exe', '', '', 0, '');
INSERT INTO Processes VALUES (3, 'c:\tools\locked.exe', 'locked.exe', '1.0', '', 2, '');
INSERT INTO DigitalSignatures VALUES (1, 'Kelvra Tools Ltd', '', '03/01/2024 09:00:00', 'Y', 0);
INSERT INTO DigitalSignatures VALUES (2, '', '', '', 'N', 0);
INSERT INTO SystemSetting VALUES (1, 2, 'S-1-5-21-9', 'SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System', '1', 5);
INSERT INTO FileExtension VALUES (1, 3, '', 'exefile', 'open', '"%1" %*', 6);
INSERT INTO ChangeEvents VALUES (1, '2024-03-01 09:00:00', 0, 7, 13);
INSERT INTO ChangeEvents VALUES (2, '2024-03-01 09:00:01', 0, 0, 6);
INSERT INTO ChangeEvents VALUES (3, '2024-03-01 09:01:00', 1, 7, 1);
INSERT INTO ChangeEvents VALUES (4, '2024-03-01 09:06:00', 0, 7, 2);
INSERT INTO ChangeEvents VALUES (5, '2024-03-01 09:07:00', 2, 1, 7);
INSERT INTO ChangeEvents VALUES (6, '2024-03-01 09:08:00', 3, 1, 8);
INSERT INTO ExtendedEvent VALUES (1, 1, 1, '1', 'Updater', '', '0', 'C:\old.exe', '');
INSERT INTO ExtendedEvent VALUES (2, 3, 2, '1', 'Updater', '', '1', 'C:\new.exe', 'C:\old.exe');
INSERT INTO ExtendedEvent VALUES (3, 4, 4, '1', 'Updater', '', '', 'C:\new.exe', '');
)";

class ChangeReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "sim-report-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    path_ = folder_ + "/Brumevale.data";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, kHistory, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string folder_, path_;
};

TEST_F(ChangeReportTest, EveryEventWithItsLoadPointAndProcess) {
  std::vector<Sim::ChangeReportRow> rows;
  std::string error;
  ASSERT_TRUE(Sim::ReadChangeHistory(path_, &rows, &error)) << error;
  const std::string table = Sim::FormatReportTable(rows, {{"S-1-5-21-9", "DESK\\ann"}});
  EXPECT_EQ(table,
            // A record without UtcOffsets rows says its times' offset is unknown.
            "2024-03-01 09:00:00 (offset unknown) added                Run                       Updater\n"
            "    where: HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\n"
            "    new: C:\\old.exe\n"
            "    by:  no process recorded\n"
            "2024-03-01 09:00:01 (offset unknown) rescan found changes \n"
            "    a rescan compared every load point with the record and found some added or "
            "changed while nothing watched\n"
            "2024-03-01 09:01:00 (offset unknown) changed              Run                       Updater\n"
            "    where: HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\n"
            "    old: C:\\old.exe\n"
            "    new: C:\\new.exe\n"
            "    by:  setup.exe (C:\\Users\\ann\\Downloads\\setup.exe)\n"
            "         version 2.1.0, Kelvra Tools, signed by Kelvra Tools Ltd (valid), "
            "downloaded from http://get.example/setup.exe\n"
            "2024-03-01 09:06:00 (offset unknown) removed              Run                       Updater\n"
            "    where: HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\n"
            "    old: C:\\new.exe\n"
            "    by:  found by a rescan, no process known\n"
            "2024-03-01 09:07:00 (offset unknown) setting changed      System setting            "
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\\DisableTaskMgr  "
            "[DESK\\ann (S-1-5-21-9)]\n"
            "    where: HKU\\S-1-5-21-9\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\n"
            "    new: 1\n"
            "    by:  tweak.exe (c:\\tools\\tweak.exe)\n"
            "         not signed\n"
            "2024-03-01 09:08:00 (offset unknown) extension written    File extension            "
            "exefile\\shell\\open\n"
            "    where: HKCR\\exefile\\shell\\open\n"
            "    new: \"%1\" %*\n"
            "    by:  locked.exe (c:\\tools\\locked.exe)\n"
            "         version 1.0, signed by an unknown signer (not valid)\n");

  std::istringstream lines(Sim::FormatReportJsonLines(rows));
  std::vector<nlohmann::json> json;
  for (std::string line; std::getline(lines, line);) json.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(json.size(), 6u);
  EXPECT_EQ(json[2]["event"], "changed");
  EXPECT_EQ(json[2]["loadPointType"], 1);
  EXPECT_EQ(json[2]["oldCommandLine"], "C:\\old.exe");
  EXPECT_EQ(json[2]["processPath"], "C:\\Users\\ann\\Downloads\\setup.exe");
  EXPECT_EQ(json[3]["foundByRescan"], true);
  EXPECT_TRUE(json[3]["process"].is_null());
  EXPECT_EQ(json[4]["user"], "S-1-5-21-9");
  // What the image says of itself, its signer and its origin; null where nothing is known.
  EXPECT_EQ(json[2]["fileVersion"], "2.1.0");
  EXPECT_EQ(json[2]["companyName"], "Kelvra Tools");
  EXPECT_EQ(json[2]["signer"], "Kelvra Tools Ltd");
  EXPECT_EQ(json[2]["signatureValid"], true);
  EXPECT_EQ(json[2]["downloadAddress"], "http://get.example/setup.exe");
  EXPECT_TRUE(json[4]["signer"].is_null() && json[4]["signatureValid"].is_null());
  EXPECT_TRUE(json[4]["downloadAddress"].is_null());
  EXPECT_EQ(json[4]["fileVersion"], "");
  EXPECT_EQ(json[5]["signer"], "");
  EXPECT_EQ(json[5]["signatureValid"], false);
  EXPECT_TRUE(json[3]["fileVersion"].is_null());
}

TEST_F(ChangeReportTest, MissingDatabaseIsNamed) {
  std::vector<Sim::ChangeReportRow> rows;
  std::string error;
  EXPECT_FALSE(Sim::ReadChangeHistory(folder_ + "/none.data", &rows, &error));
  EXPECT_NE(error.find("none.data"), std::string::npos);
}

}  // namespace
