// File facts and version strings of real PE files on the emulated machine.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fileinfo/file_information.h"
#include "support/temporary_machine.h"
#include "support/test_pe_files.h"
#include "support/version_image.h"

using Database::FileInformation;

namespace FileInfo {

namespace {

// 2024-01-02 03:04:05 UTC and an hour later, as FILETIMEs.
constexpr Platform::FileTime kJanuarySecond = 133486382450000000ull;
constexpr Platform::FileTime kOneHour = 36000000000ull;

Emulated::MachineConfig MachineIn(uint16_t language) {
  Emulated::MachineConfig config;
  config.utcOffsetMinutes = 60;
  config.systemDefaultLangId = language;
  return config;
}

class FileInformationTest : public ::testing::Test {
 protected:
  explicit FileInformationTest(uint16_t language = 0x0409) : machine_(MachineIn(language)) {}

  // Copies hostFile to the Windows path (below C:\) and gives it known times.
  void Place(const std::string& hostFile, const std::string& relative) {
    std::filesystem::path target(machine_.HostFolder());
    target /= relative;
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(hostFile, target);
    const std::u16string path = u"C:\\" + Windows(relative);
    ASSERT_EQ(System().Files().SetFileTime(path, kJanuarySecond, kJanuarySecond + 2 * kOneHour,
                                           kJanuarySecond + kOneHour),
              Platform::kErrorSuccess);
  }
  static std::u16string Windows(const std::string& relative) {
    std::u16string path(relative.begin(), relative.end());
    for (char16_t& c : path) c = c == u'/' ? u'\\' : c;
    return path;
  }
  Platform::System& System() { return machine_.Service(); }

  TemporaryMachine machine_;
};

TEST_F(FileInformationTest, ShortPathOfARealImageIsStoredLongAndLowerCase) {
  REQUIRE_TEST_PE(zlib, kTestPeZlib32);
  Place(zlib, "Program Files/Zlib Tools/ZLIB1.DLL");
  FileInformation record;
  ASSERT_TRUE(LoadFileInformation(System(), record, u"C:\\PROGRA~1\\ZLIBTO~1\\ZLIB1.DLL"));
  EXPECT_EQ(record.fullPath, u"c:\\program files\\zlib tools\\zlib1.dll");
  EXPECT_EQ(record.fileName, u"zlib1.dll");
  EXPECT_EQ(record.extension, u"dll");
  EXPECT_EQ(record.FileSize(), std::filesystem::file_size(zlib));
  EXPECT_EQ(record.creationTime, u"01/02/2024 04:04:05");
  EXPECT_EQ(record.lastWriteTime, u"01/02/2024 05:04:05");
  // The emulated drive keeps no access time of its own: it reads as the write time.
  EXPECT_EQ(record.lastAccessTime, u"01/02/2024 05:04:05");
  EXPECT_EQ(record.versionInformation, 1u);
  const std::array<std::u16string, 10> expected = {
      u"1.2.13", u"zlib data compression library", u"(C) 1995-2022 Jean-loup Gailly & Mark Adler",
      u"For more information visit http://www.zlib.net/", u"", u"zlib1.dll", u"", u"zlib1.dll", u"zlib",
      u"1.2.13"};
  EXPECT_EQ(record.versionStrings, expected);
}

class GermanMachineTest : public FileInformationTest {
 protected:
  GermanMachineTest() : FileInformationTest(0x0407) {}
};

// The image lists only US English; a German system still reads that table.
TEST_F(GermanMachineTest, TranslationOfAnotherLanguageIsReadWhenTheDefaultIsMissing) {
  REQUIRE_TEST_PE(zlib, kTestPeZlib64);
  Place(zlib, "Tools/zlib1.dll");
  FileInformation record;
  ASSERT_TRUE(LoadFileInformation(System(), record, u"C:\\Tools\\zlib1.dll"));
  EXPECT_EQ(record.VersionString(0), u"1.2.13");
  EXPECT_EQ(record.VersionString(8), u"zlib");
  EXPECT_EQ(record.VersionString(10), u"");
}

// One resource listing two translations, English first: the system language's table
// is read when listed, the first one otherwise.
TEST(VersionTranslation, SystemLanguageFirstThenTheFirstListed) {
  auto table = [](std::u16string_view key, std::u16string_view text) {
    return Node(key, 1, {}, 0, {Node(u"FileVersion", 1, Utf16(std::u16string(text) + u'\0'), 3)});
  };
  const auto block = Node(
      u"VS_VERSION_INFO", 0, {}, 0,
      {Node(u"StringFileInfo", 1, {}, 0, {table(u"040904b0", u"en"), table(u"040704b0", u"de")}),
       Node(u"VarFileInfo", 1, {}, 0, {Node(u"Translation", 0, {0x09, 0x04, 0xB0, 0x04, 0x07, 0x04, 0xB0, 0x04}, 8)})});
  const std::vector<uint8_t> image = ImageWithVersionBlocks({{0x0409, block}});
  for (const auto& [language, expected] : {std::pair{0x0407, u"de"}, std::pair{0x0409, u"en"}, std::pair{0x040C, u"en"}}) {
    TemporaryMachine machine(MachineIn(static_cast<uint16_t>(language)));
    std::ofstream(std::filesystem::path(machine.HostFolder()) / "tool.exe", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    FileInformation record;
    ASSERT_TRUE(LoadFileInformation(machine.Service(), record, u"C:\\tool.exe"));
    EXPECT_EQ(record.VersionString(0), expected) << std::hex << language;
  }
}

TEST_F(FileInformationTest, ImageWithoutVersionResourceKeepsItsFileFacts) {
  REQUIRE_TEST_PE(stub, kTestPeNoVersion);
  Place(stub, "Setup/Stub");
  FileInformation record;
  ASSERT_TRUE(LoadFileInformation(System(), record, u"C:\\Setup\\Stub"));
  EXPECT_EQ(record.versionInformation, 0u);
  EXPECT_EQ(record.fileName, u"stub");
  EXPECT_EQ(record.extension, u"stub");  // no dot: the whole name
  EXPECT_EQ(record.lastWriteTime, u"01/02/2024 05:04:05");
  for (const auto& text : record.versionStrings) EXPECT_TRUE(text.empty());
}

TEST_F(FileInformationTest, PathsThatAreNoFileLeaveTheRecordEmpty) {
  std::filesystem::create_directories(std::filesystem::path(machine_.HostFolder()) / "Tools");
  for (const std::u16string path : {u"", u"C:\\Tools", u"C:\\Tools\\gone.exe", u"C:\\NOSUCH~1\\gone.exe"}) {
    FileInformation record;
    EXPECT_FALSE(LoadFileInformation(System(), record, path));
    EXPECT_TRUE(record.fullPath.empty() && record.fileName.empty() && record.creationTime.empty());
    EXPECT_EQ(record.FileSize(), 0u);
  }
}

}  // namespace

}  // namespace FileInfo
