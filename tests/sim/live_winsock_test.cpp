// Winsock catalogs changed live: a layered provider slipped into the protocol catalog
// (the real 888-byte entries of a Windows 10 export) and a name-space provider.

#include "live_image.h"

namespace LiveTest {
namespace {

constexpr char kCatalogs[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters\\";

class LiveWinsock : public LiveImage {
 protected:
  std::string Rows(int type) {
    std::string text;
    for (const auto& row : Sql("SELECT USER_ID, ENTRY_NAME, COMMAND_LINE, DISPLAY_NAME FROM LoadPoints "
                               "WHERE LP_TYPE = " + std::to_string(type) + " ORDER BY ENTRY_NAME")) {
      text += row[0] + "|" + row[1] + "|" + row[2] + "|" + row[3] + "\n";
    }
    return text;
  }
  std::string SetItem(const std::string& catalog, const std::string& entry, const std::string& hex) {
    return std::string("3000 reg add \"") + kCatalogs + "Protocol_Catalog9\\" + catalog + "\\" + entry +
           "\" /v PackedCatalogItem /t REG_BINARY /d " + hex + " /f\n";
  }
};

TEST_F(LiveWinsock, LayeredProviderInsertedRenamedAndRemoved) {
  std::string item = RealCatalogItemHex("Catalog_Entries", "000000000016");
  std::string item64 = RealCatalogItemHex("Catalog_Entries64", "000000000016");
  if (item.empty() || item64.empty()) GTEST_SKIP() << "no real Winsock export in BRUMEVALE_SHARED_DIR";
  ASSERT_EQ(item.size(), 888u * 2);
  Boot();
  int64_t mark = LastEventKey();
  Play(SetItem("Catalog_Entries", "000000000016", item) + SetItem("Catalog_Entries64", "000000000016", item64));
  EXPECT_EQ(EventsSince(mark),
            "13 process 1|57|000000000016|ControlSet001|C:\\Windows\\SysWOW64\\ierd_tgp_lsp.dll|\n"
            "13 process 1|63|000000000016|ControlSet001|C:\\Windows\\SysWOW64\\ierd_tgp_lsp64.dll|\n");
  EXPECT_EQ(Rows(57), "ControlSet001|000000000016|C:\\Windows\\SysWOW64\\ierd_tgp_lsp.dll|ierd_tgp_lsp\n");
  ExpectRescanAgrees();

  // The same provider under another protocol name is a name change only.
  std::string renamed = item;
  renamed.replace(376 * 2, 2, "58");  // 'i' -> 'X'
  mark = LastEventKey();
  Play(SetItem("Catalog_Entries", "000000000016", renamed));
  EXPECT_EQ(EventsSince(mark), "1 process 3|57|Xerd_tgp_lsp|ControlSet001|Xerd_tgp_lsp|ierd_tgp_lsp\n");
  ExpectRescanAgrees();

  // 887 bytes are no catalog item, as for the rescan: the provider is gone. Its value
  // deleted afterwards finds no row; the 64-bit entry goes with its key.
  const std::string entry = std::string(kCatalogs) + "Protocol_Catalog9\\Catalog_Entries";
  mark = LastEventKey();
  Play(SetItem("Catalog_Entries", "000000000016", item.substr(0, 887 * 2)) +
       "3000 reg delete \"" + entry + "\\000000000016\" /v PackedCatalogItem /f\n" +
       "3000 reg delete \"" + entry + "64\\000000000016\" /f\n");
  EXPECT_EQ(EventsSince(mark),
            "2 process 4|57|000000000016|ControlSet001|C:\\Windows\\SysWOW64\\ierd_tgp_lsp.dll|\n"
            "2 process 4|63|000000000016|ControlSet001|C:\\Windows\\SysWOW64\\ierd_tgp_lsp64.dll|\n");
  EXPECT_EQ(Rows(57) + Rows(63), "");
  ExpectRescanAgrees();
}

// The layered provider of the export made for the repository (tests/fixtures): its
// 32-bit and 64-bit entries, a protocol name outside ASCII, renamed and cut short.
TEST_F(LiveWinsock, FixtureLayeredProviderInsertedRenamedAndRemoved) {
  const fs::path exportFile = fs::path(BRUMEVALE_FIXTURES_DIR) / "registry/winsock2_layered.reg";
  const std::string item = CatalogItemHex(exportFile, "Catalog_Entries", "000000000003");
  const std::string item64 = CatalogItemHex(exportFile, "Catalog_Entries64", "000000000003");
  ASSERT_EQ(item.size(), 888u * 2);
  ASSERT_EQ(item64.size(), 888u * 2);
  Boot();
  int64_t mark = LastEventKey();
  Play(SetItem("Catalog_Entries", "000000000003", item) + SetItem("Catalog_Entries64", "000000000003", item64));
  EXPECT_EQ(EventsSince(mark),
            "13 process 1|57|000000000003|ControlSet001|C:\\Program Files\\Gullwing\\gw_layer.dll|\n"
            "13 process 1|63|000000000003|ControlSet001|C:\\Program Files\\Gullwing\\gw_layer64.dll|\n");
  EXPECT_EQ(Rows(57), "ControlSet001|000000000003|C:\\Program Files\\Gullwing\\gw_layer.dll|"
                      "Gullwing Layer \u00e9t\u00e9\n");
  ExpectRescanAgrees();

  std::string renamed = item;
  renamed.replace(376 * 2, 2, "58");  // 'G' -> 'X'
  mark = LastEventKey();
  Play(SetItem("Catalog_Entries", "000000000003", renamed));
  EXPECT_EQ(EventsSince(mark), "1 process 3|57|Xullwing Layer \u00e9t\u00e9|ControlSet001|"
                               "Xullwing Layer \u00e9t\u00e9|Gullwing Layer \u00e9t\u00e9\n");
  ExpectRescanAgrees();

  mark = LastEventKey();
  Play(SetItem("Catalog_Entries", "000000000003", item.substr(0, 887 * 2)));
  EXPECT_EQ(EventsSince(mark),
            "2 process 4|57|000000000003|ControlSet001|C:\\Program Files\\Gullwing\\gw_layer.dll|\n");
  EXPECT_EQ(Rows(57), "");
  ExpectRescanAgrees();
}

TEST_F(LiveWinsock, NameSpaceProviderAddedWhenItsLibraryArrives) {
  Boot();
  const std::string entry = std::string(kCatalogs) + "NameSpace_Catalog5\\Catalog_Entries64\\000000000013";
  int64_t mark = LastEventKey();
  Play("3000 reg add \"" + entry + "\" /v DisplayString /d \"Pixel Resolver\" /f\n");
  EXPECT_EQ(EventsSince(mark), "");
  Play("3000 reg add \"" + entry + "\" /v LibraryPath /t REG_EXPAND_SZ /d \"%SystemRoot%\\system32\\pxns.dll\" /f\n");
  EXPECT_EQ(EventsSince(mark),
            "13 process 1|62|Pixel Resolver|ControlSet001|%SystemRoot%\\system32\\pxns.dll|\n");
  ExpectRescanAgrees();

  mark = LastEventKey();
  Play("3000 reg add \"" + entry + "\" /v DisplayString /d \"Pixel Resolver 2\" /f\n"
       "3000 reg add \"" + entry + "\" /v LibraryPath /t REG_EXPAND_SZ /d \"C:\\px\\pxns.dll\" /f\n"
       "3000 reg delete \"" + entry + "\" /v DisplayString /f\n");
  EXPECT_EQ(EventsSince(mark),
            "1 process 3|62|Pixel Resolver 2|ControlSet001|Pixel Resolver 2|Pixel Resolver\n"
            "1 process 2|62|Pixel Resolver 2|ControlSet001|C:\\px\\pxns.dll|%SystemRoot%\\system32\\pxns.dll\n"
            "1 process 3|62|000000000013|ControlSet001||Pixel Resolver 2\n");
  ExpectRescanAgrees();

  mark = LastEventKey();
  Play("3000 reg delete \"" + entry + "\" /v LibraryPath /f\n");
  EXPECT_EQ(EventsSince(mark), "2 process 4|62|000000000013|ControlSet001|C:\\px\\pxns.dll|\n");
  ExpectRescanAgrees();
}

}  // namespace
}  // namespace LiveTest
