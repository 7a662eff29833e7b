#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/emulated/registry/registry_store.h"
#include "platform/text_encoding.h"
#include "sim/machine_image.h"

namespace {

namespace fs = std::filesystem;

constexpr char kManifest[] = R"({
  "windows": {"major": 10, "minor": 0, "build": 19045, "productType": 1},
  "computerName": "TINY",
  "users": [
    {"sid": "S-1-5-21-7-1001", "account": "TINY\\ann", "profile": "C:\\Users\\ann", "loggedOn": true},
    {"sid": "S-1-5-21-7-1002", "account": "TINY\\bob", "profile": "C:\\Users\\bob"}
  ],
  "processes": [{"pid": 2000, "image": "C:\\Windows\\explorer.exe", "owner": "S-1-5-21-7-1001"},
                {"pid": 728, "image": "C:\\Windows\\System32\\services.exe", "protected": true}]
})";

class MachineImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sim-image-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    Write("machine.json", kManifest);
    Write(kConfig + "SYSTEM.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000001\r\n");
    Write(kConfig + "SOFTWARE.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n\"Kept\"=\"yes\"\r\n");
    Write("drives/C/Users/ann/NTUSER.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_CURRENT_USER\\Software\\Mine]\r\n\"Colour\"=\"blue\"\r\n");
    Write("drives/C/Users/bob/NTUSER.reg", "this is not read: bob is not logged on");
  }
  void TearDown() override { fs::remove_all(folder_); }

  void Write(const std::string& path, const std::string& text) {
    fs::create_directories((fs::path(folder_) / path).parent_path());
    std::ofstream(fs::path(folder_) / path, std::ios::binary) << text;
  }
  std::string Read(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(fs::path(folder_) / path, std::ios::binary).rdbuf();
    return text.str();
  }
  std::optional<Emulated::RegistryTreeCopy> Key(Sim::BootedImage& image, std::u16string_view path) {
    return image.Machine().RegistryState().CopyTree(path);
  }

  const std::string kConfig = "drives/C/Windows/System32/config/";
  std::string folder_;
};

TEST_F(MachineImageTest, HivesAreWrittenBackAndReadAgain) {
  std::string error;
  auto image = Sim::BootedImage::Boot(folder_, &error);
  ASSERT_TRUE(image) << error;
  ASSERT_TRUE(Key(*image, u"MACHINE\\SOFTWARE\\Vendor"));
  ASSERT_TRUE(Key(*image, u"USER\\S-1-5-21-7-1001\\Software\\Mine"));
  EXPECT_FALSE(Key(*image, u"USER\\S-1-5-21-7-1002"));
  ASSERT_TRUE(image->Machine().ProcessTable().Find(2000));
  EXPECT_FALSE(image->Machine().ProcessTable().Find(2000)->protectedProcess);
  ASSERT_TRUE(image->Machine().ProcessTable().Find(728));
  EXPECT_TRUE(image->Machine().ProcessTable().Find(728)->protectedProcess);

  const std::vector<uint8_t> data = {'n', 0, 'e', 0, 'w', 0, 0, 0};
  const Emulated::RegistryEdit edits[] = {
      {Emulated::RegistryEdit::Kind::kSetValue, u"MACHINE\\SOFTWARE\\Vendor", u"Added", 1, data},
      {Emulated::RegistryEdit::Kind::kSetValue, u"USER\\S-1-5-21-7-1001_Classes\\exefile", u"", 1, data}};
  image->Machine().RegistryState().Apply(edits);
  ASSERT_TRUE(image->Save(&error)) << error;
  image.reset();

  image = Sim::BootedImage::Boot(folder_, &error);
  ASSERT_TRUE(image) << error;
  const auto vendor = Key(*image, u"MACHINE\\SOFTWARE\\Vendor");
  ASSERT_TRUE(vendor);
  EXPECT_EQ(vendor->values.size(), 2u);
  EXPECT_TRUE(Key(*image, u"USER\\S-1-5-21-7-1001_Classes\\exefile"));
  EXPECT_TRUE(Key(*image, u"USER\\S-1-5-21-7-1001\\Software\\Mine"));
  EXPECT_TRUE(fs::exists(fs::path(folder_) / "drives/C/Users/ann/AppData/Local/Microsoft/Windows/UsrClass.reg"));
  EXPECT_EQ(Read("drives/C/Users/bob/NTUSER.reg"), "this is not read: bob is not logged on");
}

TEST_F(MachineImageTest, SystemLanguageIsALangId) {
  for (const auto& [text, expected] : {std::pair{"\"0x0407\"", 0x0407}, std::pair{"1036", 0x040C}}) {
    Write("machine.json", std::string("{\"systemLanguage\": ") + text + "}");
    Sim::ImageManifest manifest;
    std::string error;
    ASSERT_TRUE(Sim::ReadImageManifest(folder_, &manifest, &error)) << error;
    EXPECT_EQ(manifest.config.systemDefaultLangId, expected);
  }
}

TEST_F(MachineImageTest, MalformedImageNamesTheFileAndChangesNothing) {
  const std::pair<std::string, std::string> cases[] = {
      {"machine.json", "{\"users\": [{\"sid\": 5}"},
      {"machine.json", "{\"windows\": {\"build\": 1e30}}"},
      {"machine.json", "{\"processes\": [{\"pid\": 4.5, \"image\": \"C:\\\\x.exe\"}]}"},
      {"machine.json", "{\"users\": [{\"sid\": \"S-1\", \"account\": \"nobody\", \"profile\": \"C:\\\\x\"}]}"},
      {"machine.json", "{\"systemLanguage\": \"German\"}"},
      {"machine.json", "{\"systemLanguage\": 0}"},
      {kConfig + "SOFTWARE.reg", "Windows Registry Editor Version 5.00\r\n[HKEY_NOWHERE\\x]\r\n"},
      {"drives/C/Users/ann/NTUSER.reg", "Windows Registry Editor Version 5.00\r\n\"orphan\"=\"value\"\r\n"},
  };
  for (const auto& [file, text] : cases) {
    const std::string before = Read(file);
    Write(file, text);
    std::string error;
    EXPECT_FALSE(Sim::BootedImage::Boot(folder_, &error)) << file;
    EXPECT_NE(error.find(fs::path(file).filename().string()), std::string::npos) << error;
    EXPECT_EQ(Read(file), text);
    Write(file, before);
  }
}

}  // namespace
