// An untouched image booted, saved and booted again: every hive file keeps its keys
// and values, wherever in the layout they were, and the service's second rescan
// finds nothing changed.
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/emulated/regedit/regedit_import.h"
#include "platform/emulated/registry/registry_store.h"
#include "platform/text_encoding.h"
#include "image_files.h"
#include "sim/hive_layout.h"
#include "sim/machine_image.h"
#include "sim/sim_commands.h"
#include "support/temporary_folder.h"

namespace {

namespace fs = std::filesystem;
using SimTest::Read;
using SimTest::Write;

const fs::path kRealExports = fs::path(BRUMEVALE_SHARED_DIR) / "testdata/real/registry";
const std::string kConfig = "drives/C/Windows/System32/config/";
const std::string kSystemProfile = kConfig + "systemprofile/NTUSER.reg";
const std::string kLocalService = "drives/C/Windows/ServiceProfiles/LocalService/NTUSER.reg";

constexpr char kManifest[] = R"({
  "users": [{"sid": "S-1-5-21-9-1001", "account": "PC\\ann", "profile": "C:\\Users\\ann", "loggedOn": true},
            {"sid": "S-1-5-21-9-1002", "account": "PC\\bob", "profile": "C:\\Users\\bob"}],
  "processes": [{"pid": 2000, "image": "C:\\Windows\\explorer.exe", "owner": "S-1-5-21-9-1001"}]
})";

// HKEY_USERS as regedit exports it from a running machine: the default profile and
// the service accounts' hives in one file.
constexpr char kUsersExport[] =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_USERS]\r\n\r\n"
    "[HKEY_USERS\\.DEFAULT\\Control Panel\\Desktop]\r\n\"ScreenSaveActive\"=\"1\"\r\n\r\n"
    "[HKEY_USERS\\S-1-5-19\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
    "\"LocalAgent\"=\"C:\\\\Windows\\\\local.exe\"\r\n\r\n"
    "[HKEY_USERS\\S-1-5-20\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"
    "\"Cleanup\"=\"C:\\\\Windows\\\\cleanup.exe /quiet\"\r\n\r\n"
    "[HKEY_USERS\\S-1-5-18\\Control Panel\\Desktop]\r\n\"SCRNSAVE.EXE\"=\"C:\\\\Windows\\\\system32\\\\scrnsave.scr\"\r\n"
    "\"Wallpaper\"=hex(2):25,00,57,00,00,00\r\n";

// Every key and value below a tree, one line each, type and data in hex.
void Flatten(const Emulated::RegistryTreeCopy& key, const std::u16string& path, std::set<std::string>* out) {
  const std::string name = Platform::Utf16ToUtf8(path);
  out->insert(name);
  for (const auto& value : key.values) {
    std::ostringstream line;
    line << name << " | " << Platform::Utf16ToUtf8(value.name) << " | " << value.type << " |" << std::hex;
    for (uint8_t b : value.data) line << ' ' << int{b};
    out->insert(line.str());
  }
  for (const auto& child : key.subkeys) Flatten(child, path + u"\\" + child.name, out);
}

std::set<std::string> Registry(Emulated::RegistryStore& store) {
  std::set<std::string> lines;
  for (std::u16string root : {u"MACHINE", u"USER"}) Flatten(*store.CopyTree(root), root, &lines);
  return lines;
}

// What one hive file holds on its own: its keys loaded into a machine that has
// nothing else, minus what such a machine starts with.
std::set<std::string> FileContent(const fs::path& file, std::u16string_view currentUserSid) {
  Emulated::Machine empty{Emulated::MachineConfig{}};
  const std::set<std::string> baseline = Registry(empty.RegistryState());
  Emulated::Machine machine{Emulated::MachineConfig{}};
  std::u16string error;
  EXPECT_TRUE(Emulated::ImportRegeditFile(machine.RegistryState(), file.string(), &error, currentUserSid))
      << Platform::Utf16ToUtf8(error);
  std::set<std::string> lines;
  for (const std::string& line : Registry(machine.RegistryState()))
    if (!baseline.count(line)) lines.insert(line);
  return lines;
}

class HiveRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    Write(folder_.Path() / "machine.json", kManifest);
    Write(folder_.Path() / (kConfig + "SOFTWARE.reg"), "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n\"Kept\"=\"yes\"\r\n");
    Write(folder_.Path() / (kConfig + "SYSTEM.reg"), "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000001\r\n");
    Write(folder_.Path() / (kConfig + "DEFAULT.reg"), kUsersExport);
  }

  // The files of the image that hold hives, with what HKEY_CURRENT_USER means in each.
  std::vector<std::pair<fs::path, std::u16string>> HiveFiles() {
    std::string error;
    Sim::ImageManifest manifest;
    EXPECT_TRUE(Sim::ReadImageManifest(folder_.String(), &manifest, &error)) << error;
    std::vector<std::pair<fs::path, std::u16string>> files;
    const auto layout = Sim::HiveLayout::Make(folder_.String(), manifest, &error);
    for (const auto& place : layout->Places())
      if (fs::exists(place.hostFile)) files.emplace_back(place.hostFile, place.currentUserSid);
    return files;
  }

  std::unique_ptr<Sim::BootedImage> Boot() {
    std::string error;
    auto image = Sim::BootedImage::Boot(folder_.String(), &error);
    EXPECT_TRUE(image) << error;
    return image;
  }

  // Exports of SYSTEM keys sit in SYSTEM.reg and, as a file holding another
  // hive's keys, in SOFTWARE.reg; DEFAULT.reg holds four hives.
  void ExpectFilesKeepTheirKeys(const fs::path& winsock, const fs::path& service);

  TemporaryFolder folder_;
};

void HiveRoundTrip::ExpectFilesKeepTheirKeys(const fs::path& winsock, const fs::path& service) {
  Write(folder_.Path() / (kConfig + "SYSTEM.reg"), Read(winsock));
  Write(folder_.Path() / (kConfig + "SOFTWARE.reg"), Read(service));
  std::map<fs::path, std::set<std::string>> before;
  for (const auto& [file, sid] : HiveFiles()) before[file] = FileContent(file, sid);
  ASSERT_EQ(before.size(), 3u);

  auto image = Boot();
  ASSERT_TRUE(image);
  const std::set<std::string> booted = Registry(image->Machine().RegistryState());
  std::string error;
  ASSERT_TRUE(image->Save(&error)) << error;
  image.reset();

  for (const auto& [file, content] : before) {
    const std::set<std::string> after = FileContent(file, u".DEFAULT");
    for (const std::string& line : content) EXPECT_TRUE(after.count(line)) << file << " lost " << line;
  }
  // The service accounts' hives stayed in DEFAULT.reg, where they came from.
  EXPECT_FALSE(fs::exists(folder_.Path() / kSystemProfile));
  image = Boot();
  ASSERT_TRUE(image);
  EXPECT_EQ(Registry(image->Machine().RegistryState()), booted);
}

TEST_F(HiveRoundTrip, EveryFileKeepsItsKeysAndValues) {
  if (!fs::exists(kRealExports)) GTEST_SKIP() << "real regedit exports not found under " << kRealExports;
  ExpectFilesKeepTheirKeys(kRealExports / "winsock2_win10_with_lsp.reg",
                           kRealExports / "service_wuauserv_svchost_netsvcs.reg");
}

// The same with the exports made for the repository (tests/fixtures), for every clone.
TEST_F(HiveRoundTrip, FixtureFilesKeepTheirKeysAndValues) {
  const fs::path exports = fs::path(BRUMEVALE_FIXTURES_DIR) / "registry";
  ExpectFilesKeepTheirKeys(exports / "winsock2_layered.reg", exports / "service_svchost_relay.reg");
}

// A hive that no file held goes to its own place once it holds something; one
// that stays empty leaves no file behind.
TEST_F(HiveRoundTrip, ServiceAccountHivesHaveTheirOwnPlace) {
  fs::remove(folder_.Path() / (kConfig + "DEFAULT.reg"));
  auto image = Boot();
  ASSERT_TRUE(image);
  const std::vector<uint8_t> data = {'x', 0, 0, 0};
  const Emulated::RegistryEdit edit{Emulated::RegistryEdit::Kind::kSetValue,
                                    u"USER\\S-1-5-19\\Software\\Written", u"v", 1, data};
  image->Machine().RegistryState().Apply({&edit, 1});
  std::string error;
  ASSERT_TRUE(image->Save(&error)) << error;
  EXPECT_TRUE(fs::exists(folder_.Path() / kLocalService));
  EXPECT_FALSE(fs::exists(folder_.Path() / (kConfig + "DEFAULT.reg")));
  EXPECT_FALSE(fs::exists(folder_.Path() / kSystemProfile));
  image = Boot();
  ASSERT_TRUE(image);
  EXPECT_TRUE(image->Machine().RegistryState().CopyTree(u"USER\\S-1-5-19\\Software\\Written"));
}

TEST_F(HiveRoundTrip, KeyWithNowhereToGoIsRefusedWithItsLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"[HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION]",
       "DEFAULT.reg:4: no hive of the image holds \"HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\""},
      {"[HKEY_USERS\\S-1-5-21-9-1002\\Software]",
       "DEFAULT.reg:4: \"HKEY_USERS\\S-1-5-21-9-1002\\Software\" is in the hive of S-1-5-21-9-1002, "
       "who is not logged on"},
      {"[-HKEY_USERS\\S-1-5-21-9-1002_Classes\\x]", "DEFAULT.reg:4: "},
      {"[HKEY_LOCAL_MACHINE]\r\n\"stray\"=\"x\"", "DEFAULT.reg:5: value under a root key"},
  };
  const fs::path file = folder_.Path() / (kConfig + "DEFAULT.reg");
  for (const auto& [line, message] : cases) {
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\.DEFAULT]\r\n" + line + "\r\n";
    Write(file, text);
    std::string error;
    EXPECT_FALSE(Sim::BootedImage::Boot(folder_.String(), &error)) << line;
    EXPECT_NE(error.find(message), std::string::npos) << error;
    EXPECT_EQ(Read(file), text);
  }
}

// A profile must give its hives a file of their own inside the image.
TEST_F(HiveRoundTrip, ProfilesThatWouldMisplaceHivesAreRefused) {
  const std::pair<std::string, std::string> cases[] = {
      {R"([{"sid": "S-1-5-21-9-1001", "account": "PC\\ann", "profile": "C:\\Users\\..\\..\\etc", "loggedOn": true}])",
       "machine.json: the profile of S-1-5-21-9-1001, \"C:\\Users\\..\\..\\etc\", is not a plain path"},
      {R"([{"sid": "S-1-5-21-9-1001", "account": "PC\\ann", "profile": "c:\\windows\\system32\\config\\SYSTEMPROFILE", "loggedOn": true}])",
       "machine.json: the profile of S-1-5-21-9-1001 is the profile that holds HKEY_USERS\\S-1-5-18"},
  };
  for (const auto& [users, message] : cases) {
    Write(folder_.Path() / "machine.json", "{\"users\": " + users + "}");
    std::string error;
    EXPECT_FALSE(Sim::BootedImage::Boot(folder_.String(), &error));
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

// The whole service: its first rescan records the service accounts' load points;
// the image saved and booted again, the next rescan finds nothing to record.
TEST_F(HiveRoundTrip, SecondRescanRecordsNoChange) {
  std::ostringstream out, err, first, second;
  ASSERT_EQ(Sim::RunImage(folder_.String(), std::nullopt, false, out, err), 0) << err.str();
  ASSERT_EQ(Sim::ReportImage(folder_.String(), true, first, err), 0) << err.str();
  ASSERT_EQ(Sim::RunImage(folder_.String(), std::nullopt, false, out, err), 0) << err.str();
  ASSERT_EQ(Sim::ReportImage(folder_.String(), true, second, err), 0) << err.str();
  ASSERT_EQ(second.str().rfind(first.str(), 0), 0u) << "history rewritten:\n" << second.str();
  std::istringstream added(second.str().substr(first.str().size()));
  size_t rescans = 0;
  for (std::string line; std::getline(added, line); ++rescans)
    EXPECT_NE(line.find("\"settings checked\""), std::string::npos) << line;
  EXPECT_EQ(rescans, 1u) << second.str();
}

}  // namespace
