// "-i driver" and "-r driver": what an installer package that registers the service
// itself has the program do for the rest.

#include "service/logger_fixture.h"

namespace Service {

namespace {

using ServiceTest::kProgramFolder;

class PackageInstallTest : public ServiceTest::LoggerTest {};

TEST_F(PackageInstallTest, DriverOnlyInstallLeavesTheServiceEntryToThePackage) {
  EXPECT_EQ(RunFromConsole({u"-i", u"driver"}, u"C:\\Windows\\System32"), 0);
  EXPECT_FALSE(Entry(u"Brumevale"));
  const auto driver = Entry(u"BrumevaleLookout");
  ASSERT_TRUE(driver);
  EXPECT_EQ(driver->imagePath, std::u16string(kProgramFolder) + u"\\BrumevaleLookout.sys");
  EXPECT_EQ(ReadLog("BrumevaleLogger_Install_Log.txt"),
            std::u16string(u"Working Directory: ") + kProgramFolder +
                u"\r\nDriver Install: SUCCESS\r\nDriver file BrumevaleLookout.sys is not in the program folder: "
                u"the service will run without the driver.\r\n");
  // With the package's service entry in place (an upgrade runs it again) it still succeeds.
  ASSERT_EQ(RunFromConsole({u"-i"}), 0);
  EXPECT_EQ(RunFromConsole({u"-i", u"driver"}), 0);
  EXPECT_NE(ReadLog("BrumevaleLogger_Install_Log.txt").find(u"Driver Install: SUCCESS"), std::u16string::npos);
}

TEST_F(PackageInstallTest, DriverOnlyRemovalKeepsTheServiceEntry) {
  ASSERT_EQ(RunFromConsole({u"-i"}), 0);
  EXPECT_EQ(RunFromConsole({u"-r", u"driver"}), 0);
  EXPECT_TRUE(Entry(u"Brumevale"));
  EXPECT_FALSE(Entry(u"BrumevaleLookout"));
}

}  // namespace

}  // namespace Service
