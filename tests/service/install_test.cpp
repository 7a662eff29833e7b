// The command line: "-i", "-r", no argument outside the manager, and what each
// leaves in the registry, the install log and the settings.

#include "service/logger_fixture.h"

#include "platform/emulated/registry/registry_store.h"
#include "support/machine_files.h"
#include "util/registry_readers.h"

namespace Service {

namespace {

using namespace Platform;
using ServiceTest::kProgramFolder;

class InstallTest : public ServiceTest::LoggerTest {
 protected:
  std::optional<Emulated::RegistryTreeCopy> Tree(std::u16string_view path) {
    return machine_.RegistryState().CopyTree(std::u16string(u"MACHINE\\SYSTEM\\ControlSet001\\Services\\") +
                                            std::u16string(path));
  }
  // The stored program path, or nothing when the value is missing.
  std::optional<std::u16string> StoredProgramPath() {
    const auto tree = machine_.RegistryState().CopyTree(u"MACHINE\\SOFTWARE\\Kelvra Security\\Brumevale");
    if (!tree) return std::nullopt;
    for (const auto& value : tree->values) {
      if (value.name == u"ProgramPath") {
        std::u16string text;
        for (size_t i = 0; i + 1 < value.data.size() && (value.data[i] | value.data[i + 1]); i += 2)
          text.push_back(static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8)));
        return text;
      }
    }
    return std::nullopt;
  }
  void ForgetProgramPath() {
    const Emulated::RegistryEdit edit{Emulated::RegistryEdit::Kind::kDeleteValue,
                                      u"MACHINE\\SOFTWARE\\Kelvra Security\\Brumevale",
                                      u"ProgramPath"};
    machine_.RegistryState().Apply({&edit, 1});
  }
  static std::u16string InstallLog(std::u16string_view lines) {
    return std::u16string(u"Working Directory: ") + kProgramFolder + u"\r\n" + std::u16string(lines);
  }
  void ExpectMinifilterValues() {
    const auto driver = Tree(u"BrumevaleLookout");
    ASSERT_TRUE(driver);
    const auto value = [](const Emulated::RegistryTreeCopy& key, std::u16string_view name) {
      for (const auto& v : key.values)
        if (v.name == name) return v;
      return Emulated::RegistryValue{};
    };
    EXPECT_EQ(value(*driver, u"Group").data, Emulated::RegistryStringData(u"FSFilter Activity Monitor"));
    ASSERT_EQ(driver->subkeys.size(), 1u);
    const auto& instances = driver->subkeys[0];
    EXPECT_EQ(instances.name, u"Instances");
    EXPECT_EQ(value(instances, u"DefaultInstance").data, Emulated::RegistryStringData(u"AltitudeAndFlags"));
    ASSERT_EQ(instances.subkeys.size(), 1u);
    const auto& altitude = instances.subkeys[0];
    EXPECT_EQ(altitude.name, u"AltitudeAndFlags");
    EXPECT_EQ(value(altitude, u"Altitude").data, Emulated::RegistryStringData(u"373495"));
    EXPECT_EQ(value(altitude, u"Flags"), (Emulated::RegistryValue{u"Flags", kRegDword, {0, 0, 0, 0}}));
  }
};

// An elevated prompt starts in System32: the driver and the saved program path
// still point at the program's own folder, whatever the current directory.
TEST_F(InstallTest, InstallFromSystem32PointsAtTheProgramFolderAndSecondRunFails) {
  const uint8_t image[] = {'M', 'Z'};
  WriteMachineFile(Console().Files(), std::u16string(kProgramFolder) + u"\\BrumevaleLookout.sys", image);
  EXPECT_EQ(RunFromConsole({u"-i"}, u"C:\\Windows\\System32"), 0);
  EXPECT_EQ(ReadLog("BrumevaleLogger_Install_Log.txt"),
            InstallLog(u"Service Install: SUCCESS\r\nDriver Install: SUCCESS\r\n"));
  const auto service = Entry(u"Brumevale");
  ASSERT_TRUE(service);
  // Quoted, so that the spaces of "Program Files" cannot start another program.
  EXPECT_EQ(service->imagePath, u"\"" + std::u16string(ServiceTest::kProgramImage) + u"\"");
  EXPECT_EQ(service->type, kServiceWin32OwnProcess);
  EXPECT_EQ(service->start, kServiceAutoStart);
  EXPECT_EQ(service->group, u"Event Log");
  const auto driver = Entry(u"BrumevaleLookout");
  ASSERT_TRUE(driver);
  EXPECT_EQ(driver->imagePath, std::u16string(kProgramFolder) + u"\\BrumevaleLookout.sys");
  EXPECT_EQ(driver->displayName, u"Brumevale Driver");
  EXPECT_EQ(driver->type, kServiceFileSystemDriver);
  EXPECT_EQ(driver->start, kServiceDemandStart);
  ExpectMinifilterValues();
  EXPECT_EQ(StoredProgramPath(), std::u16string(kProgramFolder));

  ForgetProgramPath();
  EXPECT_EQ(RunFromConsole({u"-i"}, u"D:\\Elsewhere"), 0);
  EXPECT_EQ(ReadLog("BrumevaleLogger_Install_Log.txt"), InstallLog(u"Service Install: FAILED\r\n"));
  EXPECT_EQ(Entry(u"BrumevaleLookout")->imagePath, driver->imagePath);
  EXPECT_EQ(StoredProgramPath(), std::u16string(kProgramFolder));
}

TEST_F(InstallTest, InstallOverALeftoverDriverEntryWritesTheMinifilterValues) {
  ServiceManager& scm = Console().Services();
  ScopedService manager, driver;
  ASSERT_EQ(scm.OpenSCManager(kScManagerAllAccess, manager.Receive(scm)), kErrorSuccess);
  ASSERT_EQ(scm.CreateService(manager.Get(),
                              {u"BrumevaleLookout", u"Old", 0x10030, kServiceFileSystemDriver, 3, 0,
                               u"C:\\Old\\BrumevaleLookout.sys", u"", u""},
                              driver.Receive(scm)),
            kErrorSuccess);
  EXPECT_EQ(RunFromConsole({u"-i"}), 0);
  // Without the driver's file in the program folder the log says what follows.
  EXPECT_EQ(ReadLog("BrumevaleLogger_Install_Log.txt"),
            InstallLog(u"Service Install: SUCCESS\r\nDriver Install: SUCCESS\r\nDriver file "
                       u"BrumevaleLookout.sys is not in the program folder: the service will run "
                       u"without the driver.\r\n"));
  EXPECT_EQ(Entry(u"BrumevaleLookout")->imagePath, u"C:\\Old\\BrumevaleLookout.sys");
  ExpectMinifilterValues();
}

TEST_F(InstallTest, RemoveDeletesBothEntriesWithoutLogOrSettings) {
  ASSERT_EQ(RunFromConsole({u"-i"}), 0);
  const std::u16string installLog = ReadLog("BrumevaleLogger_Install_Log.txt");
  ForgetProgramPath();
  EXPECT_EQ(RunFromConsole({u"-r"}), 0);
  EXPECT_FALSE(Entry(u"Brumevale"));
  EXPECT_FALSE(Entry(u"BrumevaleLookout"));
  EXPECT_EQ(ReadLog("BrumevaleLogger_Install_Log.txt"), installLog);
  EXPECT_EQ(ReadLog("BrumevaleLogger_Log.txt"), u"");
  EXPECT_EQ(StoredProgramPath(), std::nullopt);
  // Arguments are compared exactly: these do nothing at all.
  for (const char16_t* other : {u"-I", u"/i", u"-i "}) {
    EXPECT_EQ(RunFromConsole({other}), 0);
    EXPECT_FALSE(Entry(u"Brumevale"));
  }
  EXPECT_EQ(StoredProgramPath(), std::nullopt);
}

TEST_F(InstallTest, NoArgumentOutsideTheManagerStillSavesTheSettings) {
  ForgetProgramPath();
  EXPECT_EQ(RunFromConsole({}), 0);
  EXPECT_EQ(StoredProgramPath(), u"");
  EXPECT_EQ(ReadLog("BrumevaleLogger_Log.txt"), u"");
}

}  // namespace

}  // namespace Service
