// Active Setup components and browser extensions changed live.

#include "live_image.h"

namespace LiveTest {
namespace {

constexpr char kComponents[] = "HKLM\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\";
constexpr char kComponents32[] = "HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components\\";
constexpr char kExtensions[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\";

class LiveActiveSetup : public LiveImage {};

TEST_F(LiveActiveSetup, ComponentAddedRenamedChangedAndEmptied) {
  Boot();
  const std::string component = std::string(kComponents) + "{PX-1}";
  int64_t mark = LastEventKey();
  // The name alone is no component yet; its stub makes it one.
  Play("3000 reg add \"" + component + "\" /ve /d PixelMoor /f\n"
       "3000 reg add \"" + component + "\" /v StubPath /d \"C:\\px\\stub.exe /s\" /f\n"
       "3000 reg add \"" + std::string(kComponents32) + "{PX-2}\" /v StubPath /d \"C:\\px\\stub32.exe\" /f\n");
  EXPECT_EQ(EventsSince(mark),
            "13 process 1|51|PixelMoor||C:\\px\\stub.exe /s|\n"
            "13 process 1|52|{PX-2}||C:\\px\\stub32.exe|\n");
  ExpectRescanAgrees();

  mark = LastEventKey();
  Play("3000 reg add \"" + component + "\" /ve /d \"PixelMoor 2\" /f\n"
       "3000 reg add \"" + component + "\" /v StubPath /d \"C:\\px\\stub2.exe /s\" /f\n"
       "3000 reg add \"" + component + "\" /v StubPath /d \"c:\\PX\\STUB2.EXE /S\" /f\n");
  EXPECT_EQ(EventsSince(mark),
            "1 process 3|51|PixelMoor 2||PixelMoor 2|PixelMoor\n"
            "1 process 2|51|PixelMoor 2||C:\\px\\stub2.exe /s|C:\\px\\stub.exe /s\n");
  ExpectRescanAgrees();

  // An empty stub runs nothing: the component is gone, as when its stub is deleted.
  mark = LastEventKey();
  Play("3000 reg add \"" + component + "\" /v StubPath /d \"\" /f\n"
       "3000 reg delete \"" + std::string(kComponents32) + "{PX-2}\" /v StubPath /f\n");
  EXPECT_EQ(EventsSince(mark),
            "2 process 4|51|PixelMoor 2||C:\\px\\stub2.exe /s|\n"
            "2 process 4|52|{PX-2}||C:\\px\\stub32.exe|\n");
  ExpectRescanAgrees();
}

class LiveBrowserExtensions : public LiveImage {};

TEST_F(LiveBrowserExtensions, ExtensionSwitchesValueAndGoes) {
  Boot();
  const std::string ext = std::string("HKLM\\") + kExtensions + "{EXT-1}";
  int64_t mark = LastEventKey();
  Play("3000 reg add \"" + ext + "\" /v Exec /d \"C:\\px\\x.exe\" /f\n"
       "3000 reg add \"" + ext + "\" /v Script /d \"C:\\px\\y.js\" /f\n"
       "3000 reg delete \"" + ext + "\" /v Exec /f\n");
  // The extension now runs its script; the value it no longer uses goes unnoticed.
  EXPECT_EQ(EventsSince(mark),
            "13 process 1|54|Exec||C:\\px\\x.exe|\n"
            "1 process 2|54|Script||C:\\px\\y.js|C:\\px\\x.exe\n");
  EXPECT_EQ(Sql("SELECT COMMAND_LINE, DISPLAY_NAME FROM LoadPoints WHERE LP_TYPE = 54"),
            (SqlRows{{"C:\\px\\y.js", "Script"}}));
  ExpectRescanAgrees();

  // ann's own extension, then its key deleted.
  const std::string user = std::string("HKCU\\") + kExtensions + "{EXT-U}";
  mark = LastEventKey();
  Play("3000 reg add \"" + user + "\" /v Exec /d \"C:\\Users\\ann\\u.exe\" /f\n");
  EXPECT_EQ(EventsSince(mark), std::string("13 process 1|56|Exec|") + kAnnSid + "|C:\\Users\\ann\\u.exe|\n");
  ExpectRescanAgrees();
  mark = LastEventKey();
  Play("3000 reg delete \"" + ext + "\" /v Script /f\n"
       "3000 reg delete \"" + user + "\" /f\n");
  EXPECT_EQ(EventsSince(mark),
            "2 process 4|54|Script||C:\\px\\y.js|\n"
            "2 process 4|56|Exec|" + std::string(kAnnSid) + "|C:\\Users\\ann\\u.exe|\n");
  ExpectRescanAgrees();
}

constexpr char kBarClasses[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C1}]\r\n@=\"Pixel Bar\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C1}\\InProcServer32]\r\n@=\"C:\\\\px\\\\bar.dll\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C2}]\r\n@=\"Pixel Bar 2\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C2}\\InProcServer32]\r\n@=\"C:\\\\px\\\\bar2.dll\"\r\n\r\n";

TEST_F(LiveBrowserExtensions, ClassExtensionChangesItsClass) {
  Boot(kBarClasses);
  const std::string ext = std::string("HKLM\\") + kExtensions + "{EXT-2}";
  int64_t mark = LastEventKey();
  Play("3000 reg add \"" + ext + "\" /v ClsidExtension /d {C1} /f\n"
       "3000 reg add \"" + ext + "\" /v ClsidExtension /d {C2} /f\n");
  // What runs is the class's server: both servers are recorded.
  EXPECT_EQ(EventsSince(mark),
            "13 process 1|54|Pixel Bar||C:\\px\\bar.dll|\n"
            "1 process 2|54|Pixel Bar 2||C:\\px\\bar2.dll|C:\\px\\bar.dll\n");
  EXPECT_EQ(Sql("SELECT i.ENTRY_NAME, i.COMMAND_LINE FROM Indirection i JOIN LoadPoints l "
                "ON l.INDIRECTION_KEY = i.KEY WHERE l.LP_TYPE = 54"),
            (SqlRows{{"Pixel Bar 2", "C:\\px\\bar2.dll"}}));
  ExpectRescanAgrees();

  mark = LastEventKey();
  Play("3000 reg delete \"" + ext + "\" /v ClsidExtension /f\n");
  EXPECT_EQ(EventsSince(mark), "2 process 4|54|Pixel Bar 2||{C2}|\n");
  EXPECT_TRUE(Sql("SELECT KEY FROM Indirection").empty());
}

}  // namespace
}  // namespace LiveTest
