// Version resources read from real PE files on the emulated machine's drive, and
// VerQueryValue's rules over blocks built here.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "platform/emulated/pe/version_block.h"
#include "support/temporary_machine.h"
#include "support/test_pe_files.h"
#include "support/version_image.h"

namespace {

constexpr Platform::Win32Error kErrorResourceTypeNotFound = 1813;

uint32_t Le32(std::span<const uint8_t> bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

std::u16string TextOf(std::span<const uint8_t> value) {
  std::u16string text;
  for (size_t i = 0; i + 1 < value.size(); i += 2) text.push_back(static_cast<char16_t>(value[i] | (value[i + 1] << 8)));
  while (!text.empty() && text.back() == 0) text.pop_back();
  return text;
}

class VersionInfoTest : public ::testing::Test {
 protected:
  // Copies a host file onto drive C and returns its Windows path.
  std::u16string Place(const std::string& hostFile, const std::string& name, uintmax_t keepBytes = 0) {
    const std::filesystem::path target = std::filesystem::path(machine_.HostFolder()) / name;
    std::filesystem::copy_file(hostFile, target);
    if (keepBytes != 0) std::filesystem::resize_file(target, keepBytes);
    return u"C:\\" + std::u16string(name.begin(), name.end());
  }
  std::vector<uint8_t> Block(const std::u16string& path) {
    const uint32_t size = Versions().GetFileVersionInfoSize(path);
    std::vector<uint8_t> block;
    EXPECT_GT(size, 0u);
    EXPECT_EQ(Versions().GetFileVersionInfo(path, size, &block), Platform::kErrorSuccess);
    return block;
  }
  Platform::VersionInfo& Versions() { return machine_.Service().VersionInfo(); }

  TemporaryMachine machine_;
};

TEST_F(VersionInfoTest, ReadsRealPe32AndPe32PlusImages) {
  REQUIRE_TEST_PE(zlib32, kTestPeZlib32);
  REQUIRE_TEST_PE(zlib64, kTestPeZlib64);
  for (const auto& [host, name] : {std::pair{zlib32, "zlib32.dll"}, std::pair{zlib64, "zlib64.dll"}}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> block = Block(Place(host, name));
    std::span<const uint8_t> value;
    ASSERT_TRUE(Versions().VerQueryValue(block, u"\\VarFileInfo\\Translation", &value));
    ASSERT_EQ(value.size(), 4u);
    EXPECT_EQ(Le32(value, 0), 0x04E40409u);
    // The file keys its table "040904E4"; the query in lower case still finds it.
    ASSERT_TRUE(Versions().VerQueryValue(block, u"\\StringFileInfo\\040904e4\\FileVersion", &value));
    EXPECT_EQ(TextOf(value), u"1.2.13");
    ASSERT_TRUE(Versions().VerQueryValue(block, u"\\stringfileinfo\\040904E4\\productname", &value));
    EXPECT_EQ(TextOf(value), u"zlib");
    EXPECT_FALSE(Versions().VerQueryValue(block, u"\\StringFileInfo\\040904e4\\CompanyName", &value));
    // The fixed part says 1.2.13.0 where the string says 1.2.13: they are read apart.
    ASSERT_TRUE(Versions().VerQueryValue(block, u"\\", &value));
    ASSERT_EQ(value.size(), 52u);
    EXPECT_EQ(Le32(value, 0), 0xFEEF04BDu);
    EXPECT_EQ(Le32(value, 8), 0x00010002u);
    EXPECT_EQ(Le32(value, 12), 0x000D0000u);
  }
}

TEST_F(VersionInfoTest, FilesWithoutABlockReportWhy) {
  REQUIRE_TEST_PE(stub, kTestPeNoVersion);
  REQUIRE_TEST_PE(zlib, kTestPeZlib32);
  std::ofstream(std::filesystem::path(machine_.HostFolder()) / "notes.txt") << "MZ but not an image";
  std::filesystem::create_directory(std::filesystem::path(machine_.HostFolder()) / "folder");
  const std::pair<std::u16string, Platform::Win32Error> cases[] = {
      {Place(stub, "stub.exe"), kErrorResourceTypeNotFound},  // resources, none of them a version
      {Place(zlib, "cut.dll", 4096), kErrorResourceTypeNotFound},  // resource section cut off
      {u"C:\\notes.txt", kErrorResourceTypeNotFound},
      {u"C:\\missing.dll", Platform::kErrorFileNotFound},
      {u"C:\\folder", Platform::kErrorFileNotFound},
  };
  for (const auto& [path, error] : cases) {
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    EXPECT_EQ(Versions().GetFileVersionInfoSize(path), 0u);
    std::vector<uint8_t> block{1, 2, 3};
    EXPECT_EQ(Versions().GetFileVersionInfo(path, 4096, &block), error);
    EXPECT_EQ(block, (std::vector<uint8_t>{1, 2, 3}));
  }
}

// The loader's order on whole images: neutral, then the machine's language, then
// the first listed.
TEST(VersionLanguage, ImagesAnswerInTheLanguageTheLoaderPicks) {
  const std::tuple<std::vector<uint16_t>, uint16_t, uint16_t> cases[] = {
      {{0x0409, 0x0407}, 0x0407, 0x0407},
      {{0x040C, 0x0000, 0x0407}, 0x0407, 0x0000},
      {{0x040C, 0x0407}, 0x0409, 0x040C},
  };
  for (const auto& [languages, machineLanguage, expected] : cases) {
    Emulated::MachineConfig config;
    config.systemDefaultLangId = machineLanguage;
    TemporaryMachine machine(config);
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> blocks;
    // Each block's fixed value is its own language: the query tells which one was read.
    for (uint16_t language : languages)
      blocks.emplace_back(language, Node(u"VS_VERSION_INFO", 0, {uint8_t(language), uint8_t(language >> 8)}, 2));
    const std::vector<uint8_t> image = ImageWithVersionBlocks(blocks);
    std::ofstream(std::filesystem::path(machine.HostFolder()) / "multi.dll", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    Platform::VersionInfo& versions = machine.Service().VersionInfo();
    std::vector<uint8_t> block;
    ASSERT_EQ(versions.GetFileVersionInfo(u"C:\\multi.dll", 4096, &block), Platform::kErrorSuccess);
    std::span<const uint8_t> value;
    ASSERT_TRUE(versions.VerQueryValue(block, u"\\", &value));
    ASSERT_EQ(value.size(), 2u);
    EXPECT_EQ(value[0] | (value[1] << 8), expected);
  }
}

TEST(VersionBlock, FollowsVerQueryValueRules) {
  const std::vector<uint8_t> fixed(52, 0xAB);
  const auto table = Node(u"040704B0", 1, {}, 0,
                          {Node(u"Comments", 1, {}, 0),  // declared, but empty
                           Node(u"FileVersion", 1, Utf16(std::u16string(u"2.0\0", 4)), 4),
                           // a value length that claims more than the node holds
                           Node(u"ProductName", 1, Utf16(u"Tool"), 200)});
  const auto block = Node(u"VS_VERSION_INFO", 0, fixed, 52, {Node(u"StringFileInfo", 1, {}, 0, {table})});
  std::span<const uint8_t> value;
  ASSERT_TRUE(Emulated::QueryVersionValue(block, u"\\", &value));
  EXPECT_EQ(std::vector<uint8_t>(value.begin(), value.end()), fixed);
  ASSERT_TRUE(Emulated::QueryVersionValue(block, u"\\STRINGFILEINFO\\040704b0\\fileversion", &value));
  EXPECT_EQ(TextOf(value), u"2.0");
  ASSERT_TRUE(Emulated::QueryVersionValue(block, u"\\StringFileInfo\\040704b0\\Comments", &value));
  EXPECT_TRUE(value.empty());
  ASSERT_TRUE(Emulated::QueryVersionValue(block, u"\\StringFileInfo\\040704b0\\ProductName", &value));
  EXPECT_EQ(TextOf(value), u"Tool");
  EXPECT_FALSE(Emulated::QueryVersionValue(block, u"\\StringFileInfo\\040904b0\\FileVersion", &value));
  EXPECT_FALSE(Emulated::QueryVersionValue(block, u"\\VarFileInfo\\Translation", &value));
  // A block cut short answers nothing rather than reading past its end.
  const std::vector<uint8_t> cut(block.begin(), block.begin() + 40);
  EXPECT_FALSE(Emulated::QueryVersionValue(cut, u"\\", &value));
}

}  // namespace
