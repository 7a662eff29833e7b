// The rescan answers its lookups from rows read once at its start. The same scans
// run both ways, from that copy and straight from the database, over the same
// machines and stored rows, must leave identical tables and give identical results.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/scanner_table.h"
#include "ledger/scan_snapshot.h"
#include "support/scan_test_machine.h"

using Database::LoadPointDatabase;
using Engine::FullLoadPointScan;
using Engine::LoadPointEngine;
using Engine::RunScannerTable;

namespace Ledger {

namespace {

enum class Lookup { kSnapshot, kDatabase };

const std::string kRegistry = std::string(
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
    "\"Text\"=\"C:\\\\tool.exe /x\"\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\"Caf\xc3\xa9\"=\"C:\\\\caf\xc3\xa9.exe\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows]\r\n"
    "\"AppInit_DLLs\"=\"a.dll a.dll,b.dll,A.DLL\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Own]\r\n"
    "\"Type\"=dword:00000010\r\n\"Start\"=dword:00000002\r\n"
    "\"ImagePath\"=\"C:\\\\own.exe\"\r\n\"DisplayName\"=\"Own service\"\r\n"
    "[HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Microsoft\\Windows\\"
    "CurrentVersion\\Run]\r\n\"Mine\"=\"C:\\\\mine.exe\"\r\n");

// Rows already stored before the first scan: identities that differ from what the
// registry holds only in letter case, one identity stored twice, a logged-off
// user's row, a display name to be replaced and a row whose entry is gone.
void SeedRows(LoadPointDatabase& db) {
  db.AddLoadPointEntry(1, u"", u"Text", u"C:\\TOOL.EXE /X", u"");
  db.AddLoadPointEntry(1, u"", u"text", u"C:\\tool.exe /x", u"");
  db.AddLoadPointEntry(1, u"", u"Multi", u"first of two", u"");
  db.AddLoadPointEntry(1, u"", u"Multi", u"second of two", u"");
  db.AddLoadPointEntry(3, kBobSid, u"BobRun", u"C:\\bob.exe", u"");
  db.AddLoadPointEntry(3, kAliceSid, u"Gone", u"C:\\gone.exe", u"");
  db.AddLoadPointEntry(12, u"ControlSet001", u"Own", u"C:\\own.exe", u"Old name");
  db.AddLoadPointEntry(8, u"", u"a.dll", u"a.dll", u"");
}

// Every row of the tables a scan writes, with the columns SQLite stamps with the
// current time left out.
std::vector<SqlRows> Tables(ScanMachine& machine) {
  return {machine.Sql("SELECT KEY, LP_TYPE, USER_ID, ENTRY_NAME, COMMAND_LINE, CHANGE_EVENT_KEY, "
                      "INDIRECTION_KEY, DISPLAY_NAME FROM LoadPoints ORDER BY KEY"),
          machine.Sql("SELECT KEY, PROCESS_ENTRY_KEY, LOAD_POINT_KEY, EVENT_TYPE FROM ChangeEvents "
                      "ORDER BY KEY"),
          machine.Sql("SELECT * FROM ExtendedEvent ORDER BY KEY"),
          machine.Sql("SELECT * FROM Indirection ORDER BY KEY"),
          machine.Sql("SELECT * FROM NotifyList ORDER BY KEY")};
}

void Scan(ScanMachine& machine, Lookup lookup, int32_t startFlag) {
  LoadPointEngine& engine = machine.Engine();
  BeginFullScan(engine);
  if (lookup == Lookup::kSnapshot) {
    ASSERT_NE(engine.ScanState().snapshot, nullptr);
  } else {
    engine.ScanState().snapshot.reset();
  }
  RunScannerTable(engine, startFlag);
  EndFullScan(engine);
  EXPECT_EQ(engine.ScanState().snapshot, nullptr) << "the copy outlived the scan";
}

// Runs the same history on two identical machines, one scanning each way, and
// compares every table after each step. change alters the machine between scans.
void ExpectSameHistory(const std::function<void(ScanMachine&)>& prepare,
                       const std::function<void(ScanMachine&)>& change) {
  ScanMachine viaSnapshot;
  ScanMachine viaDatabase;
  for (ScanMachine* machine : {&viaSnapshot, &viaDatabase}) prepare(*machine);
  const std::vector<std::pair<int32_t, bool>> steps = {{1, false}, {0, false}, {0, true}, {0, false}};
  for (const auto& [startFlag, changeFirst] : steps) {
    if (changeFirst) {
      change(viaSnapshot);
      change(viaDatabase);
    }
    Scan(viaSnapshot, Lookup::kSnapshot, startFlag);
    Scan(viaDatabase, Lookup::kDatabase, startFlag);
    ASSERT_EQ(Tables(viaSnapshot), Tables(viaDatabase)) << "after a scan with start flag " << startFlag;
  }
}

TEST(ScanSnapshot, ScansLeaveTheSameRowsAsLookupsInTheDatabase) {
  ExpectSameHistory(
      [](ScanMachine& machine) {
        machine.Import(kRegistry);
        SeedRows(machine.Database());
      },
      [](ScanMachine& machine) {
        machine.Import(
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
            "\"Text\"=\"C:\\\\Tool.exe /X\"\r\n\"Multi\"=-\r\n\"New\"=\"C:\\\\new.exe\"\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Own]\r\n"
            "\"ImagePath\"=\"C:\\\\other.exe\"\r\n");
      });
  // The history itself is what the seeds promise: the lower key of the duplicate
  // won, the logged-off user's row stayed, case-only names are rows of their own.
  ScanMachine machine;
  machine.Import(kRegistry);
  SeedRows(machine.Database());
  FullLoadPointScan(machine.Engine(), 0);
  EXPECT_EQ(machine.Sql("SELECT ENTRY_NAME, COMMAND_LINE FROM LoadPoints WHERE LP_TYPE IN (1, 3, 8) "
                        "ORDER BY KEY"),
            (SqlRows{{"Text", "C:\\TOOL.EXE /X"}, {"Multi", "a\\0b"}, {"BobRun", "C:\\bob.exe"},
                     {"a.dll", "a.dll"}, {"Caf\xc3\xa9", "C:\\caf\xc3\xa9.exe"}, {"b.dll", "b.dll"},
                     {"A.DLL", "A.DLL"}, {"Mine", "C:\\mine.exe"}}));
}

TEST(ScanSnapshot, RealExportsScanTheSameBothWays) {
  const std::vector<std::string> files = {SharedRegistryFile("winsock2_win10_with_lsp.reg"),
                                          SharedRegistryFile("service_wuauserv_svchost_netsvcs.reg")};
  for (const std::string& file : files) {
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "no real registry export at " << file;
  }
  ExpectSameHistory(
      [&files](ScanMachine& machine) {
        for (const std::string& file : files) machine.ImportExportFile(file);
      },
      [](ScanMachine& machine) {
        machine.Import("[-HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\WinSock2\\Parameters\\"
                       "Protocol_Catalog9\\Catalog_Entries\\000000000001]\r\n"
                       "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\wuauserv]\r\n"
                       "\"Start\"=dword:00000002\r\n");
      });
}

struct Call {
  uint32_t type;
  std::u16string userId;
  std::u16string name;
  std::u16string commandLine;
  std::u16string displayName;
};

// Result and key of each call, in one scan.
std::vector<std::pair<Reconciled, int32_t>> Reconcile(ScanMachine& machine, Lookup lookup,
                                                      const std::vector<Call>& calls) {
  std::vector<std::pair<Reconciled, int32_t>> results;
  LoadPointEngine& engine = machine.Engine();
  BeginFullScan(engine);
  if (lookup == Lookup::kDatabase) engine.ScanState().snapshot.reset();
  for (const Call& call : calls) {
    int32_t key = 0;
    const Reconciled result = ReconcileLoadPoint(engine, call.type, call.userId, call.name,
                                              call.commandLine, call.displayName, &key);
    results.emplace_back(result, key);
  }
  EndFullScan(engine);
  return results;
}

TEST(ScanSnapshot, EachLookupGivesTheResultAndKeyOfTheDatabaseLookup) {
  // A NUL in a text ends the statement inside its quotes: the insert fails, so the
  // entry is new again the next time it is seen.
  const std::u16string withNul(u"bad\0name", 8);
  const std::u16string loneSurrogate(u"x\xD800y");
  const std::vector<Call> calls = {
      {1, u"", u"Text", u"c:\\tool.exe /X", u""},       // case-only: unchanged
      {1, u"", u"TEXT", u"c:\\tool.exe /X", u""},       // another identity: added
      {1, u"", u"Multi", u"new", u""},                   // duplicate identity: lower key
      {1, u"", u"Multi", u"NEW", u""},                   // its change was entered
      {1, u"", withNul, u"x", u""},                      // failed insert
      {1, u"", withNul, u"x", u""},                      // fails again
      {1, u"", loneSurrogate, u"s", u""},                // added
      {1, u"", loneSurrogate, u"s", u"shown"},           // found, display name changed
      {3, kBobSid, u"BobRun", u"C:\\bob.exe", u""},      // logged-off user: found
      {12, u"ControlSet001", u"Own", u"C:\\own.exe", u"Old name"},
      {12, u"ControlSet001", u"Own", u"C:\\own.exe", u"New name"},
      {12, u"ControlSet001", u"Own", u"C:\\own.exe", u"NEW NAME"},
  };
  ScanMachine viaSnapshot;
  ScanMachine viaDatabase;
  SeedRows(viaSnapshot.Database());
  SeedRows(viaDatabase.Database());
  const auto results = Reconcile(viaSnapshot, Lookup::kSnapshot, calls);
  EXPECT_EQ(results, Reconcile(viaDatabase, Lookup::kDatabase, calls));
  EXPECT_EQ(Tables(viaSnapshot), Tables(viaDatabase));
  using enum Reconciled;
  const std::vector<Reconciled> codes = {kUnchanged, kAdded,     kChanged,   kUnchanged,
                                         kAdded,     kAdded,     kAdded,     kChanged,
                                         kUnchanged, kUnchanged, kChanged,   kUnchanged};
  for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(results[i].first, codes[i]) << "call " << i;
  EXPECT_EQ(results[4].second, -1);
  EXPECT_EQ(results[2].second, results[3].second);

  // Outside a scan the database is asked: a row changed by another writer is seen.
  viaSnapshot.Database().UpdateLoadPointEntry(results[0].second, u"C:\\elsewhere.exe");
  int32_t key = 0;
  EXPECT_EQ(ReconcileLoadPoint(viaSnapshot.Engine(), 1, u"", u"Text", u"c:\\ELSEWHERE.exe", u"",
                               &key), Reconciled::kUnchangedLive);
  EXPECT_EQ(key, results[0].second);
}

}  // namespace

}  // namespace Ledger
