// The machine actions that a driverless service has to live with: the minifilter's
// driver stopped and started (or absent from the image altogether), and users
// logging on and off, whose hives come from and go back to the image's files.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/emulated/minifilter/minifilter.h"
#include "platform/emulated/machine/object_table.h"
#include "platform/emulated/registry/registry_store.h"
#include "platform/scoped_handle.h"
#include "platform/text_encoding.h"
#include "service/service_install.h"
#include "sim/machine_image.h"
#include "sim/scenario.h"
#include "sim/scenario_player.h"

using Service::kDriverServiceName;

namespace {

namespace fs = std::filesystem;
using namespace Platform;

constexpr char kBobSid[] = "S-1-5-21-7-1002";

std::string Manifest(const std::string& extra) {
  return R"({
  "computerName": "TINY",)" + extra + R"(
  "users": [
    {"sid": "S-1-5-21-7-1001", "account": "TINY\\ann", "profile": "C:\\Users\\ann", "loggedOn": true},
    {"sid": "S-1-5-21-7-1002", "account": "TINY\\bob", "profile": "C:\\Users\\bob"}
  ],
  "processes": [{"pid": 2000, "image": "C:\\Windows\\explorer.exe", "owner": "S-1-5-21-7-1001"}]
})";
}

// Counts what the player asks of the service; no service runs here.
class RecordingService : public Sim::ServiceUnderTest {
 public:
  bool Start(std::string*) override { return true; }
  bool Stop(std::string*) override { return true; }
  void Settle() override { ++settles; }
  void AwaitIntake() override { ++intakes; }
  void AdvanceClock(int64_t) override {}
  int settles = 0;
  int intakes = 0;
};

class MachineActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sim-actions-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    Write("machine.json", Manifest(""));
    Write(kConfig + "SYSTEM.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000001\r\n");
    Write(kConfig + "SOFTWARE.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n");
    Write("drives/C/Users/bob/NTUSER.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
          "\"Sync\"=\"C:\\\\Users\\\\bob\\\\sync.exe\"\r\n");
  }
  void TearDown() override { fs::remove_all(folder_); }

  void Write(const std::string& path, const std::string& text) {
    fs::create_directories((fs::path(folder_) / path).parent_path());
    std::ofstream(fs::path(folder_) / path, std::ios::binary) << text;
  }
  // The file's text; the hives are written back as regedit writes them, in UTF-16.
  std::string Read(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(fs::path(folder_) / path, std::ios::binary).rdbuf();
    const std::string bytes = text.str();
    if (bytes.rfind("\xFF\xFE", 0) != 0) return bytes;
    std::u16string wide;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      wide += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8);
    return Utf16ToUtf8(wide);
  }
  std::unique_ptr<Sim::BootedImage> Boot(bool withoutDriver = false) {
    std::string error;
    auto image = Sim::BootedImage::Boot(folder_, &error, withoutDriver);
    EXPECT_TRUE(image) << error;
    return image;
  }
  // Plays lines; the refused ones' messages go to *out.
  int Play(Sim::BootedImage& image, const std::string& lines, std::string* out = nullptr) {
    Sim::Scenario scenario;
    std::string error;
    EXPECT_TRUE(Sim::ParseScenario(lines, "t.scenario", &scenario, &error)) << error;
    std::ostringstream messages;
    const int refused = Sim::PlayScenario(image, scenario, "t.scenario", service_, messages);
    if (out != nullptr) *out = messages.str();
    return refused;
  }
  // The minifilter's driver service, as "-i" registers it.
  void InstallDriver(Sim::BootedImage& image) {
    ServiceManager& scm = image.Machine().Process(4).Services();
    Handle manager = 0, driver = 0;
    ASSERT_EQ(scm.OpenSCManager(kScManagerAllAccess, &manager), kErrorSuccess);
    ServiceConfig config;
    config.serviceName = kDriverServiceName;
    config.serviceType = kServiceFileSystemDriver;
    config.startType = kServiceDemandStart;
    config.binaryPathName = u"C:\\Program Files\\Kelvra Security\\Brumevale\\BrumevaleLookout.sys";
    ASSERT_EQ(scm.CreateService(manager, config, &driver), kErrorSuccess);
    scm.CloseServiceHandle(driver);
    scm.CloseServiceHandle(manager);
  }
  bool HasKey(Sim::BootedImage& image, const std::string& path) {
    return image.Machine().RegistryState().CopyTree(Utf8ToUtf16(path)).has_value();
  }

  const std::string kConfig = "drives/C/Windows/System32/config/";
  std::string folder_;
  RecordingService service_;
};

TEST_F(MachineActionsTest, TheDriverStopsAndStartsMidScenarioAndItsQueueIsTakenFirst) {
  auto image = Boot();
  ASSERT_TRUE(image);
  InstallDriver(*image);
  Emulated::Minifilter& filter = image->Machine().Filter();
  EXPECT_EQ(Play(*image, "driver start\n"), 0);
  EXPECT_TRUE(filter.IsRunning());
  EXPECT_EQ(Play(*image, "driver stop\n"), 0);
  EXPECT_FALSE(filter.IsRunning());
  EXPECT_EQ(service_.intakes, 1);
  Handle port = 0;
  EXPECT_NE(filter.Connect(4, Emulated::Minifilter::kPortName, &port), kSOk);
  std::string messages;
  EXPECT_EQ(Play(*image, "driver stop\ndriver start\n", &messages), 1);
  EXPECT_NE(messages.find("t.scenario:1: driver stop failed with error 1062"), std::string::npos) << messages;
  EXPECT_EQ(filter.Connect(4, Emulated::Minifilter::kPortName, &port), kSOk);
}

// "driver": false in the manifest and --driverless give the same machine: the
// driver service installs, but it never starts, so its port is never there.
TEST_F(MachineActionsTest, AMachineWithoutTheDriverNeverStartsIt) {
  Write("machine.json", Manifest("\n  \"driver\": false,"));
  for (bool withoutDriver : {false, true}) {
    if (withoutDriver) Write("machine.json", Manifest(""));
    auto image = Boot(withoutDriver);
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->Manifest().config.minifilterPresent);
    InstallDriver(*image);
    std::string messages;
    EXPECT_EQ(Play(*image, "driver start\n", &messages), 1);
    EXPECT_NE(messages.find("driver start failed with error 2"), std::string::npos) << messages;
    EXPECT_FALSE(image->Machine().Filter().IsRunning());
    Handle port = 0;
    EXPECT_NE(image->Machine().Filter().Connect(4, Emulated::Minifilter::kPortName, &port), kSOk);
  }
  Write("machine.json", Manifest("\n  \"driver\": \"no\","));
  std::string error;
  EXPECT_FALSE(Sim::BootedImage::Boot(folder_, &error));
  EXPECT_NE(error.find("\"driver\" must be true or false"), std::string::npos) << error;
}

// bob is logged off at boot ("loggedOn" absent): his hives come from his profile at
// log-on, his changes go back there at log-off, and a second log-on finds them.
TEST_F(MachineActionsTest, AUsersHivesLoadAtLogOnAndAreWrittenBackAtLogOff) {
  auto image = Boot();
  ASSERT_TRUE(image);
  const std::string run = std::string("USER\\") + kBobSid + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_FALSE(HasKey(*image, std::string("USER\\") + kBobSid));
  // A watch on HKEY_USERS sees the hive arrive.
  Registry& registry = image->Machine().Process(4).Registry();
  ScopedObject event;
  ASSERT_EQ(image->Machine().Process(4).Objects().CreateEvent(true, false, u"", event.Receive(image->Machine().Process(4).Objects()), nullptr), kErrorSuccess);
  ASSERT_EQ(registry.NotifyChangeKeyValue(kHkeyUsers, false, kRegNotifyChangeName, event.Get()), kErrorSuccess);

  EXPECT_EQ(Play(*image, "user logon bob\n"
                         "2000 reg add \"HKU\\S-1-5-21-7-1002\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\" "
                         "/v Added /t REG_SZ /d C:\\a.exe /f\n"
                         "2000 reg add \"HKU\\S-1-5-21-7-1002_Classes\\exefile\" /v X /t REG_SZ /d y /f\n"),
            0);
  EXPECT_EQ(image->Machine().Process(4).Objects().WaitForSingleObject(event.Get(), 0), kWaitObject0);
  const auto loaded = image->Machine().RegistryState().CopyTree(Utf8ToUtf16(run));
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->values.size(), 2u);

  const int settlesBefore = service_.settles;
  EXPECT_EQ(Play(*image, "user logoff TINY\\bob\n"), 0);
  EXPECT_GT(service_.settles, settlesBefore);  // bob's changes are handled while his hive is there
  EXPECT_FALSE(HasKey(*image, std::string("USER\\") + kBobSid));
  EXPECT_FALSE(HasKey(*image, std::string("USER\\") + kBobSid + "_Classes"));
  EXPECT_NE(Read("drives/C/Users/bob/NTUSER.reg").find("\"Added\"="), std::string::npos);
  EXPECT_NE(Read("drives/C/Users/bob/AppData/Local/Microsoft/Windows/UsrClass.reg").find("exefile"),
            std::string::npos);

  // Saving the machine with bob logged off leaves his files as he left them.
  const std::string ntuser = Read("drives/C/Users/bob/NTUSER.reg");
  std::string error;
  ASSERT_TRUE(image->Save(&error)) << error;
  EXPECT_EQ(Read("drives/C/Users/bob/NTUSER.reg"), ntuser);

  EXPECT_EQ(Play(*image, "user logon bob\n"), 0);
  const auto again = image->Machine().RegistryState().CopyTree(Utf8ToUtf16(run));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->values.size(), 2u);
  EXPECT_TRUE(HasKey(*image, std::string("USER\\") + kBobSid + "_Classes\\exefile"));
}

TEST_F(MachineActionsTest, LogOnAndOffThatCannotHappenAreRefusedAndTheScenarioGoesOn) {
  auto image = Boot();
  ASSERT_TRUE(image);
  std::string messages;
  EXPECT_EQ(Play(*image, "user logon carol\nuser logoff bob\nuser logon ann\nuser logon bob\n", &messages), 3);
  EXPECT_NE(messages.find("t.scenario:1: machine.json has no user \"carol\""), std::string::npos) << messages;
  EXPECT_NE(messages.find("t.scenario:2: bob is not logged on"), std::string::npos) << messages;
  EXPECT_NE(messages.find("t.scenario:3: ann is logged on already"), std::string::npos) << messages;
  EXPECT_TRUE(HasKey(*image, std::string("USER\\") + kBobSid));  // the last line still played

  // A machine that no image holds has no hive files to load.
  Sim::Scenario scenario;
  std::string error;
  ASSERT_TRUE(Sim::ParseScenario("user logoff bob\n", "t.scenario", &scenario, &error));
  std::ostringstream out;
  EXPECT_EQ(Sim::PlayScenario(image->Machine(), scenario, "t.scenario", service_, out), 1);
  EXPECT_NE(out.str().find("need a machine image"), std::string::npos);
}

}  // namespace
