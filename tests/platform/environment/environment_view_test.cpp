// The emulated environment: whose profile a process sees, and the configuration
// that shapes the variables.
#include <gtest/gtest.h>

#include "platform/emulated/machine/machine.h"

namespace {

using namespace Platform;

Emulated::MachineConfig Config() {
  Emulated::MachineConfig config;
  config.users.push_back({u"S-1-5-21-1-2-3-1001", u"DESKTOP-BRUMEVL", u"alice", u"C:\\Users\\alice", true});
  config.environment.push_back({u"TEMP", u"D:\\Scratch"});
  config.environment.push_back({u"BRUMEVALE_EXTRA", u"yes"});
  config.utcOffsetMinutes = 120;
  return config;
}

class EnvironmentViewTest : public ::testing::Test {
 protected:
  EnvironmentViewTest() {
    machine_.ProcessTable().Add({2000, 4, u"C:\\Users\\alice\\app.exe", u"S-1-5-21-1-2-3-1001", u"", u"", {}});
    machine_.ProcessTable().Add({2004, 4, u"C:\\Windows\\system32\\svchost.exe", u"S-1-5-19", u"", u"", {}});
  }
  std::u16string Folder(uint32_t pid, int csidl) {
    std::u16string path;
    EXPECT_EQ(machine_.Process(pid).Environment().GetSpecialFolder(csidl, 260, &path), kErrorSuccess);
    return path;
  }
  std::u16string Expand(uint32_t pid, std::u16string_view text) {
    std::u16string out;
    EXPECT_EQ(machine_.Process(pid).Environment().ExpandEnvironmentStrings(text, 1024, &out, nullptr),
              kErrorSuccess);
    return out;
  }

  Emulated::Machine machine_{Config()};
};

TEST_F(EnvironmentViewTest, FoldersFollowTheOwnerOfTheActingProcess) {
  EXPECT_EQ(Folder(4, kCsidlPersonal), u"C:\\Windows\\system32\\config\\systemprofile\\Documents");
  EXPECT_EQ(Folder(2004, kCsidlPersonal), u"C:\\Windows\\ServiceProfiles\\LocalService\\Documents");
  EXPECT_EQ(Folder(2000, kCsidlPersonal), u"C:\\Users\\alice\\Documents");
  EXPECT_EQ(Folder(2000, kCsidlStartup),
            u"C:\\Users\\alice\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
  EXPECT_EQ(Folder(2000, kCsidlCommonStartup),
            u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
  EXPECT_EQ(Folder(2000, kCsidlSystemX86), u"C:\\Windows\\SysWOW64");
  EXPECT_EQ(Folder(2000, kCsidlProgramFiles), u"C:\\Program Files");
  EXPECT_EQ(Expand(2000, u"%USERNAME%@%USERDOMAIN% %HOMEDRIVE%%HOMEPATH%"),
            u"alice@DESKTOP-BRUMEVL C:\\Users\\alice");
  EXPECT_EQ(Expand(4, u"%USERNAME% %HOMEPATH%"), u"DESKTOP-BRUMEVL$ %HOMEPATH%");
}

TEST_F(EnvironmentViewTest, ConfigurationOverridesAndAddsMachineVariables) {
  EXPECT_EQ(Expand(4, u"%temp%|%BRUMEVALE_EXTRA%|%ProgramFiles(x86)%|%windir%"),
            u"D:\\Scratch|yes|C:\\Program Files (x86)|C:\\Windows");
  std::u16string path;
  ASSERT_EQ(machine_.Process(2000).Environment().GetModuleFileName(260, &path), kErrorSuccess);
  EXPECT_EQ(path, u"C:\\Users\\alice\\app.exe");
  EXPECT_EQ(machine_.Process(4).Environment().GetModuleFileName(260, &path), kErrorFileNotFound);
}

TEST_F(EnvironmentViewTest, LocalTimeFollowsTheMachineZone) {
  Environment& env = machine_.Process(4).Environment();
  SystemTime local;
  // 2024-05-01 11:05:09 UTC.
  ASSERT_TRUE(env.FileTimeToLocalSystemTime(133590351090000000ull, &local));
  EXPECT_EQ(local, (SystemTime{2024, 5, 3, 1, 13, 5, 9, 0}));
}

}  // namespace
