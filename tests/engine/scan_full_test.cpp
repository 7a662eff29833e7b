// The full rescan on emulated machines: what a first scan stores, that a second one
// is silent, how removals are recorded and which values become which rows.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/registry_event_matcher.h"
#include "engine/scanner_table.h"
#include "families/winsock/winsock_catalog.h"
#include "intake/registry_key_path.h"
#include "ledger/rescan_pass.h"
#include "support/scan_test_machine.h"

using Database::LoadPointRows;
using Intake::RegistryKeyPath;
using enum Intake::RegistryRootKind;
using Ledger::AbandonFullScan;
using Ledger::BeginFullScan;
using Ledger::FullScanStopping;

namespace Engine {

namespace {

constexpr char kAliceRun[] =
    "[HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Microsoft\\Windows\\"
    "CurrentVersion\\Run]\r\n";

// One of each location family the rules treat differently.
const std::string kMachine = std::string(
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
    "\"Text\"=\"C:\\\\tool.exe /x\"\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,5c,00,63,00,00,00,00,00\r\n"
    "\"Bytes\"=hex:01,ab\r\n"
    "\"Number\"=dword:00420041\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon]\r\n"
    "\"Userinit\"=\"a.exe b.exe,c.exe\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows]\r\n"
    "\"AppInit_DLLs\"=\"a.dll b.dll,c.dll\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Windows]\r\n"
    "\"AppInit_DLLs\"=\" w.dll \"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Lsa]\r\n"
    "\"Security Packages\"=hex(7):6b,00,2c,00,6c,00,00,00,20,00,00,00,00,00\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Own]\r\n"
    "\"Type\"=dword:00000010\r\n\"Start\"=dword:00000002\r\n"
    "\"ImagePath\"=\"C:\\\\own.exe\"\r\n\"DisplayName\"=\"Own service\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Disk]\r\n"
    "\"Type\"=dword:00000001\r\n\"Start\"=dword:00000000\r\n\"ImagePath\"=\"disk.sys\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Manual]\r\n"
    "\"Type\"=dword:00000010\r\n\"Start\"=dword:00000003\r\n\"ImagePath\"=\"C:\\\\m.exe\"\r\n") +
    kAliceRun + "\"Mine\"=\"C:\\\\mine.exe\"\r\n";

// LP_TYPE|USER_ID|ENTRY_NAME|COMMAND_LINE|DISPLAY_NAME of every row, in type order.
std::vector<std::string> LoadPointTexts(ScanMachine& machine) {
  std::vector<std::string> texts;
  for (const auto& row : machine.Sql(
           "SELECT LP_TYPE, USER_ID, ENTRY_NAME, COMMAND_LINE, DISPLAY_NAME FROM LoadPoints "
           "ORDER BY LP_TYPE, USER_ID, ENTRY_NAME")) {
    texts.push_back(row[0] + "|" + row[1] + "|" + row[2] + "|" + row[3] + "|" + row[4]);
  }
  return texts;
}

std::string EventTypes(ScanMachine& machine) {
  std::string types;
  for (const auto& row : machine.Sql("SELECT EVENT_TYPE FROM ChangeEvents ORDER BY KEY")) {
    types += row[0] + " ";
  }
  return types;
}

TEST(FullScan, FirstScanStoresEveryEntryAndTheSecondIsSilent) {
  ScanMachine machine;
  machine.Import(kMachine);
  FullLoadPointScan(machine.Engine(), 0);
  const std::vector<std::string> expected = {
      "1||Bytes|01AB|", "1||Multi|a\\0b\\\\c|", "1||Number|AB|", "1||Text|C:\\tool.exe /x|",
      std::string("3|") + "S-1-5-21-1004336348-1177238915-682003330-1001|Mine|C:\\mine.exe|",
      "7||a.exe b.exe|a.exe b.exe|", "7||c.exe|c.exe|",
      "8||a.dll|a.dll|", "8||b.dll|b.dll|", "8||c.dll|c.dll|",
      "12|ControlSet001|Own|C:\\own.exe|Own service",
      "20||w.dll|w.dll|",
      "29|ControlSet001|Disk|disk.sys|",
      "33|ControlSet001|k,l|k,l|"};
  EXPECT_EQ(LoadPointTexts(machine), expected);
  EXPECT_EQ(EventTypes(machine), "6 ");

  FullLoadPointScan(machine.Engine(), 0);
  EXPECT_EQ(LoadPointTexts(machine), expected);
  EXPECT_EQ(EventTypes(machine), "6 ");
}

// A pass that the service's stop interrupts writes nothing: what it had added or
// changed is rolled back, rows it had not found yet are not removed, no summary
// event; and its transaction is over, so the next writer is not kept out.
TEST(FullScan, AStoppedPassRollsBackEverythingItWrote) {
  ScanMachine machine;
  machine.Import(kMachine);
  ASSERT_EQ(FullLoadPointScan(machine.Engine(), 0), 1);
  const std::vector<std::string> before = LoadPointTexts(machine);
  machine.Import(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
      "\"Bytes\"=-\r\n\"Text\"=\"C:\\\\other.exe\"\r\n\"New\"=\"C:\\\\new.exe\"\r\n");
  machine.Engine().RequestStop();
  EXPECT_EQ(FullLoadPointScan(machine.Engine(), 0), 0);
  EXPECT_EQ(LoadPointTexts(machine), before);
  EXPECT_EQ(EventTypes(machine), "6 ");
  EXPECT_EQ(machine.Engine().ScanState().active, 0u);
  EXPECT_GT(machine.Database().AddLoadPointEntry(1, u"", u"After", u"C:\\after.exe", u""), 0);
  EXPECT_EQ(machine.Sql("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'After'"), (SqlRows{{"1"}}));
}

// The stop falls after the scanners have added a row: the rollback takes the row
// out of the file, and the live lookups by identity must not find it either, also
// once a later row has taken its key.
TEST(FullScan, AStoppedPassLeavesNoneOfItsRowsToTheLiveLookups) {
  ScanMachine machine;
  machine.Import(kMachine);
  ASSERT_EQ(FullLoadPointScan(machine.Engine(), 0), 1);
  LoadPointRows rows;
  ASSERT_EQ(machine.Database().FindLoadPointEntry(1, u"", u"Text", rows), 1);
  machine.Import(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
      "\"New\"=\"C:\\\\new.exe\"\r\n");
  BeginFullScan(machine.Engine());
  RunScannerTable(machine.Engine(), 0);
  LoadPointRows added;
  ASSERT_EQ(machine.Database().FindLoadPointEntry(1, u"", u"New", added), 1) << "the pass added nothing";
  machine.Engine().RequestStop();
  ASSERT_TRUE(FullScanStopping(machine.Engine()));
  AbandonFullScan(machine.Engine());

  LoadPointRows gone;
  EXPECT_EQ(machine.Database().FindLoadPointEntry(1, u"", u"New", gone), 0);
  EXPECT_EQ(machine.Database().AddLoadPointEntry(1, u"", u"Other", u"C:\\other.exe", u""), added.KEY(0));
  EXPECT_EQ(machine.Database().FindLoadPointEntry(1, u"", u"New", gone), 0) << "found under its key: " << Platform::Utf16ToUtf8(gone.ENTRY_NAME(0));
  LoadPointRows text;
  EXPECT_EQ(machine.Database().FindLoadPointEntry(1, u"", u"Text", text), 1);
  EXPECT_EQ(text.KEY(0), rows.KEY(0));
}

TEST(FullScan, RemovalIsRecordedCaseChangesAreNotAndLoggedOffUsersKeepTheirRows) {
  ScanMachine machine;
  machine.Import(kMachine);
  FullLoadPointScan(machine.Engine(), 0);
  machine.Database().AddLoadPointEntry(3, kBobSid, u"Away", u"C:\\away.exe", u"");
  machine.Import(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
      "\"Bytes\"=-\r\n\"Text\"=\"c:\\\\TOOL.EXE /X\"\r\n");

  FullLoadPointScan(machine.Engine(), 0);
  // A removal alone is no reason for the summary event.
  EXPECT_EQ(EventTypes(machine), "6 2 ");
  EXPECT_EQ(machine.Sql("SELECT e.LOAD_POINT_KEY > 0, e.PROCESS_ENTRY_KEY, x.EX_EVENT_TYPE, "
                        "x.PARAM_0, x.PARAM_1, x.PARAM_2, x.PARAM_3, x.PARAM_4, x.PARAM_5 "
                        "FROM ChangeEvents e JOIN ExtendedEvent x ON x.CHANGE_EVENT_KEY = e.KEY"),
            (SqlRows{{"1", "0", "4", "1", "Bytes", "", "0", "01AB", ""}}));
  // Found by a rescan, with no process.
  EXPECT_EQ(machine.Sql("SELECT ORIGIN FROM EventOrigin"), (SqlRows{{"1"}}));
  EXPECT_EQ(machine.Sql("SELECT COMMAND_LINE FROM LoadPoints WHERE ENTRY_NAME IN ('Text', 'Away') "
                        "ORDER BY ENTRY_NAME"),
            (SqlRows{{"C:\\away.exe"}, {"C:\\tool.exe /x"}}));
}

std::string RegeditHex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text = "hex:";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) text += ",";
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::vector<uint8_t> CatalogItem(size_t size) {
  std::vector<uint8_t> item(size, 0);
  const std::string path = "C:\\caf\xe9\x80.dll";  // 8-bit text of the system code page
  std::copy(path.begin(), path.end(), item.begin());
  const std::u16string name = u"Test Protocol";
  for (size_t i = 0; i < name.size(); ++i) item[376 + 2 * i] = static_cast<uint8_t>(name[i]);
  return item;
}

TEST(FullScan, WinsockProtocolEntriesShorterThanACatalogItemAreIgnored) {
  ScanMachine machine;
  const std::string key =
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\WinSock2\\Parameters\\"
      "Protocol_Catalog9\\Catalog_Entries\\";
  machine.Import(key + "000000000001]\r\n\"PackedCatalogItem\"=" + RegeditHex(CatalogItem(888)) +
                 "\r\n" + key + "000000000002]\r\n\"PackedCatalogItem\"=" +
                 RegeditHex(CatalogItem(887)) + "\r\n");
  FullLoadPointScan(machine.Engine(), 0);
  EXPECT_EQ(LoadPointTexts(machine),
            (std::vector<std::string>{
                "57|ControlSet001|000000000001|C:\\caf\xc3\xa9\xe2\x82\xac.dll|Test Protocol"}));
}

TEST(FullScan, RealWinsockCatalogGivesOneRowPerProtocolEntry) {
  const std::string file = SharedRegistryFile("winsock2_win10_with_lsp.reg");
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "no real registry export at " << file;
  ScanMachine machine;
  machine.ImportExportFile(file);
  FullLoadPointScan(machine.Engine(), 0);
  const SqlRows rows = machine.Sql(
      "SELECT COUNT(*), SUM(COMMAND_LINE LIKE '%.dll'), SUM(DISPLAY_NAME <> '') "
      "FROM LoadPoints WHERE LP_TYPE = 57");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NE(rows[0][0], "0");
  EXPECT_EQ(rows[0][1], rows[0][0]);
  EXPECT_EQ(rows[0][2], rows[0][0]);
}

TEST(FullScan, HostedServiceIsStoredWithItsLibraryOnlyWhenItStartsByItself) {
  const std::string file = SharedRegistryFile("service_wuauserv_svchost_netsvcs.reg");
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "no real registry export at " << file;
  ScanMachine machine;
  machine.ImportExportFile(file);
  machine.Import(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SvcHost]\r\n"
      "\"netsvcs\"=hex(7):57,00,55,00,41,00,55,00,53,00,45,00,52,00,56,00,00,00,00,00\r\n");
  const std::string select =
      "SELECT LP_TYPE, ENTRY_NAME, COMMAND_LINE FROM LoadPoints WHERE ENTRY_NAME = 'wuauserv'";
  FullLoadPointScan(machine.Engine(), 0);  // demand start, as exported
  EXPECT_TRUE(machine.Sql(select).empty());

  machine.Import(
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\wuauserv]\r\n"
      "\"Start\"=dword:00000002\r\n");
  FullLoadPointScan(machine.Engine(), 0);
  EXPECT_EQ(machine.Sql(select),
            (SqlRows{{"12", "wuauserv", "%systemroot%\\system32\\wuaueng.dll"}}));
}

const RegistryEventMatcher::Node* ClassWatchNode(LoadPointEngine& engine, std::u16string_view path) {
  RegistryKeyPath keyPath;
  keyPath.Assign(kRootMachine, path, 0);
  return engine.RegistryMatcher().Walk(keyPath);
}

TEST(FullScan, StartUpScanResolvesClassesIntoIndirectionRowsAndWatchesThem) {
  ScanMachine machine;
  machine.Import(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
      "ShellExecuteHooks]\r\n\"{11111111-0000-0000-0000-000000000001}\"=\"\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{11111111-0000-0000-0000-000000000001}]\r\n"
      "@=\"Hook\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{11111111-0000-0000-0000-000000000001}\\"
      "InProcServer32]\r\n@=\"C:\\\\hook.dll\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\{E1}]\r\n"
      "\"ClsidExtension\"=\"{22222222-0000-0000-0000-000000000002}\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{22222222-0000-0000-0000-000000000002}]\r\n"
      "@=\"Nameless server\"\r\n");
  FullLoadPointScan(machine.Engine(), 1);
  EXPECT_EQ(machine.Sql("SELECT l.LP_TYPE, i.ENTRY_NAME, i.COMMAND_LINE, l.INDIRECTION_KEY = i.KEY "
                        "FROM LoadPoints l JOIN Indirection i ON i.LP_KEY = l.KEY ORDER BY l.LP_TYPE"),
            (SqlRows{{"42", "Hook", "C:\\hook.dll", "1"}, {"54", "Nameless server", "", "1"}}));

  const auto* hook = ClassWatchNode(
      machine.Engine(), u"SOFTWARE\\Classes\\CLSID\\{11111111-0000-0000-0000-000000000001}\\InProcServer32");
  ASSERT_NE(hook, nullptr);
  const auto watches = hook->valueEntries.find(u"");
  ASSERT_NE(watches, hook->valueEntries.end());
  ASSERT_EQ(watches->second.size(), 1u);
  EXPECT_EQ(watches->second[0].code, 46u);
  EXPECT_GT(watches->second[0].extraNumber, 0);

  // A periodic scan leaves the classes alone; a second start-up scan finds them current.
  FullLoadPointScan(machine.Engine(), 0);
  FullLoadPointScan(machine.Engine(), 1);
  EXPECT_EQ(machine.Sql("SELECT COUNT(*) FROM Indirection"), (SqlRows{{"2"}}));
  EXPECT_EQ(EventTypes(machine), "6 ");
}

}  // namespace

}  // namespace Engine
