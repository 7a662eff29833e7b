// Routines that ask the machine: drive map, OS ordinal, file times, environment
// strings, shell folders and the profiles folder.

#include <gtest/gtest.h>

#include <map>

#include "platform/emulated/machine/clock.h"
#include "util/drive_map.h"
#include "util/os_version.h"
#include "util/path_routines.h"
#include "util/time_text.h"
#include "util_machine.h"

namespace VyrUtilities {
namespace {

using UtilTest::Utf16Bytes;

class MachineRoutinesTest : public UtilTest::MachineTest {};

TEST_F(MachineRoutinesTest, DevicePathsBothWays) {
  DriveMap map(System());
  EXPECT_TRUE(map.Initialise());
  EXPECT_FALSE(map.Initialise());
  EXPECT_EQ(map.DriveLetterOfDevice(u"\\device\\harddiskvolume2"), u"C");
  EXPECT_EQ(map.DevicePathToDosPath(u"\\Device\\HarddiskVolume2\\Windows\\notepad.exe"),
            u"C:\\Windows\\notepad.exe");
  EXPECT_EQ(map.DevicePathToDosPath(u"\\Device\\HarddiskVolume2"), u"C:");
  EXPECT_EQ(map.DevicePathToDosPath(u"\\Device\\HarddiskVolume9\\x"), u"");
  EXPECT_EQ(map.DevicePathToDosPath(u"C:\\x"), u"");
  EXPECT_EQ(map.DevicePathToDosPath(u"\\Device"), u"");
  EXPECT_EQ(map.DosPathToDevicePath(u"\\??\\C:\\Windows"), u"\\Device\\HarddiskVolume2\\Windows");
  EXPECT_EQ(map.DosPathToDevicePath(u"c:\\Windows"), u"\\Device\\HarddiskVolume2\\Windows");
  EXPECT_EQ(map.DosPathToDevicePath(u"Q:\\x"), u"");
  EXPECT_EQ(map.DosPathToDevicePath(u"no drive"), u"");
  EXPECT_EQ(map.QueryDriveDevice(u""), u"");
}

TEST_F(MachineRoutinesTest, FileTimeInLocalTimeAndCurrentTime) {
  Emulated::Machine east(UtilTest::ConfigOnDrive(HostFolder()));
  Emulated::MachineConfig config = UtilTest::ConfigOnDrive(HostFolder());
  config.utcOffsetMinutes = 60;
  Emulated::Machine plusOne(config);
  Platform::FileTime time = Emulated::Clock::FromSystemTime({2024, 1, 0, 2, 3, 4, 5, 0});
  EXPECT_EQ(FormatFileTime(plusOne.Process(kProcessId), time, false), u"01/02/2024 04:04:05");
  EXPECT_EQ(FormatFileTime(plusOne.Process(kProcessId), time, true), u"01/02/2024");
  EXPECT_EQ(FormatFileTime(east.Process(kProcessId), time, false), u"01/02/2024 03:04:05");
  std::u16string now = FormatCurrentTime(System(), true);
  EXPECT_EQ(now.size(), 19u);
  EXPECT_EQ(FormatCurrentTime(System(), false).size(), 8u);
}

struct VersionCase {
  uint32_t platform, major, minor;
  uint8_t productType;
  uint16_t architecture;
  uint32_t ordinal;
};

TEST_F(MachineRoutinesTest, OsVersionOrdinals) {
  const VersionCase cases[] = {
      {2, 10, 0, 1, 9, 14}, {2, 10, 0, 3, 9, 19}, {2, 10, 0, 2, 9, 19}, {2, 6, 3, 1, 9, 15},
      {2, 6, 3, 3, 9, 18},  {2, 6, 2, 1, 0, 12},  {2, 6, 2, 3, 9, 17},  {2, 6, 1, 1, 0, 11},
      {2, 6, 1, 3, 9, 16},  {2, 6, 0, 1, 0, 9},   {2, 6, 0, 3, 0, 10},  {2, 5, 2, 1, 9, 7},
      {2, 5, 2, 1, 0, 8},   {2, 5, 2, 3, 9, 8},   {2, 5, 1, 1, 0, 6},   {2, 5, 0, 1, 0, 5},
      {1, 4, 0, 0, 0, 2},   {1, 4, 10, 0, 0, 3},  {1, 4, 90, 0, 0, 4},  {2, 4, 0, 1, 0, 0},
      {2, 11, 0, 1, 9, 0},  {0, 10, 0, 1, 9, 0},
  };
  for (const VersionCase& c : cases) {
    Emulated::MachineConfig config;
    config.version.platformId = c.platform;
    config.version.majorVersion = c.major;
    config.version.minorVersion = c.minor;
    config.version.productType = c.productType;
    config.version.processorArchitecture = c.architecture;
    Emulated::Machine machine(config);
    EXPECT_EQ(GetOsVersionOrdinal(machine.Process(kProcessId)), c.ordinal)
        << c.platform << " " << c.major << "." << c.minor << " type " << int{c.productType};
  }
}

TEST_F(MachineRoutinesTest, ExpandEnvironmentKeepsUnknownAndOverlongText) {
  EXPECT_EQ(ExpandEnvironment(System(), u"%SystemRoot%\\x"), u"C:\\Windows\\x");
  EXPECT_EQ(ExpandEnvironment(System(), u"%NoSuchName%\\x"), u"%NoSuchName%\\x");
  std::u16string longText = u"%SystemRoot%" + std::u16string(250, u'a');
  EXPECT_EQ(ExpandEnvironment(System(), longText), longText);
}

TEST_F(MachineRoutinesTest, SpecialFolders) {
  EXPECT_EQ(GetSpecialFolder(System(), Platform::kCsidlCommonAppData), u"C:\\ProgramData");
  EXPECT_EQ(GetSpecialFolder(System(), Platform::kCsidlSystem), u"C:\\Windows\\system32");
  EXPECT_EQ(GetSpecialFolder(System(), 9999), u"");
}

TEST_F(MachineRoutinesTest, ProfilesBaseFromProfileListThenDocuments) {
  std::u16string documents = GetSpecialFolder(System(), Platform::kCsidlPersonal);
  ASSERT_FALSE(documents.empty());
  EXPECT_EQ(GetProfilesBase(System(), true), ParentPath(documents, 1));

  constexpr char16_t kList[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  UtilTest::SetValue(System(), Platform::kHkeyLocalMachine, kList, u"ProfilesDirectory",
                     Platform::kRegExpandSz, Utf16Bytes(std::u16string(u"%SystemDrive%\\Homes\0", 20)));
  EXPECT_EQ(GetProfilesBase(System(), false), u"C:\\Homes");

  Platform::Registry& registry = System().Registry();
  Platform::ScopedKey key;
  ASSERT_EQ(registry.OpenKey(Platform::kHkeyLocalMachine, kList, Platform::kKeyAllAccess,
                             key.Receive(registry)),
            Platform::kErrorSuccess);
  ASSERT_EQ(registry.DeleteValue(key.Get(), u"ProfilesDirectory"), Platform::kErrorSuccess);
  EXPECT_EQ(GetProfilesBase(System(), false), ParentPath(documents, 2));
}

}  // namespace
}  // namespace VyrUtilities
