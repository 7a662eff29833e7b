// Files dropped into startup folders, live: each is a load point of its own, named by
// the file and recorded with the process that wrote it.

#include "live_image.h"

namespace LiveTest {
namespace {

class LiveStartupFolders : public LiveImage {
 protected:
  // One EventsSince line of a startup entry with a known process: the extended type,
  // the load-point type, the name, the user, the new (or removed) path and the old.
  static std::string Line(int eventType, int exType, const std::string& type, const std::string& name,
                          const std::string& user, const std::string& path, const std::string& old = "") {
    return std::to_string(eventType) + " process " + std::to_string(exType) + "|" + type + "|" + name + "|" +
           user + "|" + path + "|" + old + "\n";
  }
};

TEST_F(LiveStartupFolders, UserShortcutCreatedRewrittenRenamedAndMovedOut) {
  Boot();
  const std::string folder = Platform::Utf16ToUtf8(kAnnStartup);
  int64_t mark = LastEventKey();
  const std::string x = folder + "\\x.lnk", y = folder + "\\y.lnk";
  Play("2000 file create \"" + x + "\"\n");
  EXPECT_EQ(EventsSince(mark), Line(13, 1, "28", "x.lnk", "ann", x));
  EXPECT_EQ(Sql("SELECT LP_TYPE, USER_ID, ENTRY_NAME, COMMAND_LINE FROM LoadPoints WHERE LP_TYPE IN (27, 28)"),
            (SqlRows{{"28", "ann", "x.lnk", folder + "\\x.lnk"}}));

  // A write to a file that is already a load point is recorded as a change.
  mark = LastEventKey();
  Play("3000 file write \"" + x + "\" \"[shortcut]\"\n");
  EXPECT_EQ(EventsSince(mark), Line(1, 2, "28", "x.lnk", "ann", x, x));

  // The old name is removed by the renaming process; the new name is an addition.
  mark = LastEventKey();
  Play("3000 file rename \"" + x + "\" \"" + y + "\"\n");
  EXPECT_EQ(EventsSince(mark), Line(2, 4, "28", "x.lnk", "ann", x) + Line(13, 1, "28", "y.lnk", "ann", y));
  EXPECT_EQ(Sql("SELECT ENTRY_NAME FROM LoadPoints WHERE LP_TYPE IN (27, 28)"), (SqlRows{{"y.lnk"}}));
  ExpectRescanAgrees();

  mark = LastEventKey();
  Play("3000 file rename \"" + y + "\" \"C:\\Users\\ann\\Desktop\\y.lnk\"\n");
  EXPECT_EQ(EventsSince(mark), Line(2, 4, "28", "y.lnk", "ann", y));
  EXPECT_TRUE(Sql("SELECT KEY FROM LoadPoints WHERE LP_TYPE IN (27, 28)").empty());
  ExpectRescanAgrees();
}

TEST_F(LiveStartupFolders, CommonShortcutWrittenTaggedAndDeleted) {
  Boot();
  const std::string folder = Platform::Utf16ToUtf8(kCommonStartup);
  const std::string agent = folder + "\\Agent.lnk";
  int64_t mark = LastEventKey();
  // Writing a new file creates it first: added, then changed by the write.
  Play("3000 file write \"" + agent + "\" \"[shortcut]\"\n");
  EXPECT_EQ(EventsSince(mark), Line(13, 1, "27", "Agent.lnk", "", agent) + Line(1, 2, "27", "Agent.lnk", "", agent, agent));
  // Tagging it as downloaded writes a stream of the file: the file has changed.
  mark = LastEventKey();
  Play("3000 file stream \"" + folder + "\\Agent.lnk:Zone.Identifier\" \"[ZoneTransfer]\\nZoneId=3\"\n");
  EXPECT_EQ(EventsSince(mark), Line(1, 2, "27", "Agent.lnk", "", agent, agent) +
                                   Line(1, 2, "27", "Agent.lnk", "", agent, agent));
  EXPECT_EQ(Sql("SELECT LP_TYPE, USER_ID, ENTRY_NAME FROM LoadPoints WHERE LP_TYPE IN (27, 28)"),
            (SqlRows{{"27", "", "Agent.lnk"}}));
  ExpectRescanAgrees();

  // The deleting process is recorded, and the entry under its stored name.
  mark = LastEventKey();
  Play("2000 file delete \"" + folder + "\\AGENT.LNK\"\n");
  EXPECT_EQ(EventsSince(mark), Line(2, 4, "27", "Agent.lnk", "", agent));
  EXPECT_TRUE(Sql("SELECT KEY FROM LoadPoints WHERE LP_TYPE IN (27, 28)").empty());
  ExpectRescanAgrees();
}

}  // namespace
}  // namespace LiveTest
