#include "util/app_settings.h"

#include <gtest/gtest.h>

#include "util/brumevale_settings.h"
#include "platform/text_encoding.h"
#include "util/path_routines.h"
#include "util/protected_folder.h"
#include "util_machine.h"

namespace VyrUtilities {
namespace {

constexpr char16_t kProductKey[] = u"SOFTWARE\\Kelvra Security\\Brumevale";

bool IsDirectory(Platform::System& system, std::u16string_view path) {
  Platform::FileAttributeData data;
  return system.Files().GetFileAttributesEx(path, &data) == Platform::kErrorSuccess &&
         (data.attributes & Platform::kFileAttributeDirectory) != 0;
}

class AppSettingsTest : public UtilTest::MachineTest {};

TEST_F(AppSettingsTest, RegistryPathPlacesGroupAfterCompany) {
  VyrAppSettings settings(System());
  EXPECT_EQ(settings.RegistryPath(), u"");
  settings.Initialise(u"Kelvra Security", u"", u"Brumevale");
  EXPECT_EQ(settings.RegistryPath(), kProductKey);
  settings.Initialise(u"Co", u"Suite", u"App");
  EXPECT_EQ(settings.RegistryPath(), u"SOFTWARE\\Co\\Suite\\App");
  settings.Initialise(u"", u"Suite", u"App");
  EXPECT_EQ(settings.RegistryPath(), u"");
  EXPECT_FALSE(settings.Load(false));
}

TEST_F(AppSettingsTest, InitialiseCreatesDataAndLogDirectories) {
  BrumevaleSettings settings(System());
  settings.InitialiseProduct();
  std::u16string common = GetSpecialFolder(System(), Platform::kCsidlCommonAppData);
  ASSERT_FALSE(common.empty());
  EXPECT_EQ(settings.DataDirectory(), common + u"\\Kelvra Security\\Brumevale");
  EXPECT_EQ(settings.LogDirectory(), settings.DataDirectory() + u"\\Logs");
  EXPECT_TRUE(IsDirectory(System(), settings.LogDirectory()));
  EXPECT_FALSE(settings.ComputerName().empty());
  // Made closed to other users from the start, not open until the service looks.
  for (const std::u16string& folder : {settings.DataDirectory(), settings.LogDirectory()}) {
    Platform::FileSecurity security;
    ASSERT_EQ(System().Files().GetFileSecurity(folder, &security), Platform::kErrorSuccess);
    EXPECT_TRUE(IsProtectedFolderSecurity(security)) << Platform::Utf16ToUtf8(folder);
  }

  VyrAppSettings grouped(System());
  grouped.Initialise(u"Co", u"Suite", u"App");
  EXPECT_EQ(grouped.DataDirectory(), common + u"\\Suite\\Co\\App");
}

TEST_F(AppSettingsTest, SaveAndLoadRoundTripPerRoot) {
  BrumevaleSettings settings(System());
  settings.InitialiseProduct();
  settings.SetProgramPath(u"C:\\Program Files\\Brumevale");
  ASSERT_TRUE(settings.Save(false));
  settings.SetProgramPath(u"C:\\User Copy");
  ASSERT_TRUE(settings.Save(true));

  BrumevaleSettings machineSide(OtherProcess());
  machineSide.InitialiseProduct();
  EXPECT_TRUE(machineSide.Load(false));
  EXPECT_EQ(machineSide.ProgramPath(), u"C:\\Program Files\\Brumevale");
  EXPECT_TRUE(machineSide.Load(true));
  EXPECT_EQ(machineSide.ProgramPath(), u"C:\\User Copy");
}

TEST_F(AppSettingsTest, FirstLoadCreatesTheKeyAndFails) {
  BrumevaleSettings settings(System());
  settings.InitialiseProduct();
  EXPECT_FALSE(settings.Load(false));
  Platform::Registry& registry = System().Registry();
  Platform::ScopedKey key;
  EXPECT_EQ(registry.OpenKey(Platform::kHkeyLocalMachine, kProductKey, Platform::kKeyRead,
                             key.Receive(registry)),
            Platform::kErrorSuccess);
}

TEST_F(AppSettingsTest, BaseClassKeepsNoCustomValues) {
  VyrAppSettings settings(System());
  settings.Initialise(u"Kelvra Security", u"", u"Brumevale");
  settings.SetProgramPath(u"C:\\x");
  EXPECT_FALSE(settings.Save(false));  // written, but the base has no custom part
  BrumevaleSettings product(System());
  product.InitialiseProduct();
  EXPECT_TRUE(product.Load(false));
  EXPECT_EQ(product.ProgramPath(), u"C:\\x");
}

TEST_F(AppSettingsTest, ProgramPathLongerThanItsBufferIsAFailedRead) {
  BrumevaleSettings settings(System());
  settings.InitialiseProduct();
  settings.SetProgramPath(std::u16string(258, u'a'));  // 259 units with the terminator
  ASSERT_TRUE(settings.Save(false));
  EXPECT_TRUE(settings.Load(false));
  settings.SetProgramPath(std::u16string(259, u'b'));
  ASSERT_TRUE(settings.Save(false));
  settings.SetProgramPath(u"kept");
  EXPECT_FALSE(settings.Load(false));
  EXPECT_EQ(settings.ProgramPath(), u"kept");
}

TEST_F(AppSettingsTest, CreateDirectoryTree) {
  VyrAppSettings settings(System());
  EXPECT_FALSE(settings.CreateDirectoryTree(u"relative"));
  EXPECT_TRUE(settings.CreateDirectoryTree(u"C:\\a\\b\\c"));
  EXPECT_TRUE(IsDirectory(System(), u"C:\\a\\b\\c"));
  EXPECT_TRUE(settings.CreateDirectoryTree(u"C:\\a\\b\\c"));  // every level exists
  EXPECT_FALSE(settings.CreateDirectoryTree(u"Q:\\nowhere"));
}

}  // namespace
}  // namespace VyrUtilities
