// Files dropped into startup folders, live: each is a load point of its own, named by
// the file and recorded with the process that wrote it.

#include "live_image.h"

namespace LiveTest {
namespace {

class LiveStartupFolders : public LiveImage {};

TEST_F(LiveStartupFolders, UserShortcutCreatedRewrittenRenamedAndMovedOut) {
  Boot();
  const std::string folder = Platform::Utf16ToUtf8(kAnnStartup);
  int64_t mark = LastEventKey();
  Play("2000 file create \"" + folder + "\\x.lnk\"\n");
  EXPECT_EQ(EventsSince(mark), "13 process -\n");
  EXPECT_EQ(Sql("SELECT LP_TYPE, USER_ID, ENTRY_NAME, COMMAND_LINE FROM LoadPoints WHERE LP_TYPE IN (27, 28)"),
            (SqlRows{{"28", "ann", "x.lnk", folder + "\\x.lnk"}}));

  // A write to a file that is already a load point is recorded as a change.
  mark = LastEventKey();
  Play("3000 file write \"" + folder + "\\x.lnk\" \"[shortcut]\"\n");
  EXPECT_EQ(EventsSince(mark), "1 process -\n");

  // The old name goes without an event of its own; the new name is the addition.
  mark = LastEventKey();
  Play("3000 file rename \"" + folder + "\\x.lnk\" \"" + folder + "\\y.lnk\"\n");
  EXPECT_EQ(EventsSince(mark), "13 process -\n");
  EXPECT_EQ(Sql("SELECT ENTRY_NAME FROM LoadPoints WHERE LP_TYPE IN (27, 28)"), (SqlRows{{"y.lnk"}}));
  ExpectRescanAgrees();

  mark = LastEventKey();
  Play("3000 file rename \"" + folder + "\\y.lnk\" \"C:\\Users\\ann\\Desktop\\y.lnk\"\n");
  EXPECT_EQ(EventsSince(mark), "");
  EXPECT_TRUE(Sql("SELECT KEY FROM LoadPoints WHERE LP_TYPE IN (27, 28)").empty());
  ExpectRescanAgrees();
}

TEST_F(LiveStartupFolders, CommonShortcutWrittenThenDeletedWithoutProcess) {
  Boot();
  const std::string folder = Platform::Utf16ToUtf8(kCommonStartup);
  int64_t mark = LastEventKey();
  // Writing a new file creates it first: added, then changed by the write.
  Play("3000 file write \"" + folder + "\\Agent.lnk\" \"[shortcut]\"\n");
  EXPECT_EQ(EventsSince(mark), "13 process -\n1 process -\n");
  // Tagging it as downloaded writes a stream of the file: the file has changed.
  mark = LastEventKey();
  Play("3000 file stream \"" + folder + "\\Agent.lnk:Zone.Identifier\" \"[ZoneTransfer]\\nZoneId=3\"\n");
  EXPECT_EQ(EventsSince(mark), "1 process -\n1 process -\n");
  EXPECT_EQ(Sql("SELECT LP_TYPE, USER_ID, ENTRY_NAME FROM LoadPoints WHERE LP_TYPE IN (27, 28)"),
            (SqlRows{{"27", "", "Agent.lnk"}}));
  ExpectRescanAgrees();

  // The process that deletes a startup file is not recorded.
  mark = LastEventKey();
  Play("2000 file delete \"" + folder + "\\AGENT.LNK\"\n");
  EXPECT_EQ(EventsSince(mark), "2 none -\n");
  EXPECT_TRUE(Sql("SELECT KEY FROM LoadPoints WHERE LP_TYPE IN (27, 28)").empty());
  ExpectRescanAgrees();
}

}  // namespace
}  // namespace LiveTest
