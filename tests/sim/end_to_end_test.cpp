#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/text_encoding.h"
#include "sim/sim_commands.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadUtf16(const fs::path& path) {
  std::stringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  const std::string raw = bytes.str();
  std::u16string text;
  for (size_t i = 2; i + 1 < raw.size(); i += 2)
    text += static_cast<char16_t>(static_cast<uint8_t>(raw[i]) | (static_cast<uint8_t>(raw[i + 1]) << 8));
  return Platform::Utf16ToUtf8(text);
}

// A tiny machine runs twice: the first run installs the service and plays a
// scenario, the second finds the service installed and the scenario's value kept.
TEST(SimulatorEndToEnd, RunPlaySaveAndReport) {
  std::string pattern = (fs::temp_directory_path() / "sim-e2e-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path image = pattern;
  const fs::path config = image / "drives/C/Windows/System32/config";
  Write(image / "machine.json",
        R"({"users": [{"sid": "S-1-5-21-5-1001", "account": "TINY\\ann", "profile": "C:\\Users\\ann", "loggedOn": true}],
            "processes": [{"pid": 2000, "image": "C:\\Windows\\explorer.exe", "owner": "S-1-5-21-5-1001"}]})");
  Write(config / "SYSTEM.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000001\r\n");
  Write(config / "SOFTWARE.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n\"Old\"=\"C:\\\\old.exe\"\r\n");
  Write(image / "t.scenario",
        "2000 reg add \"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\" /v Upd /d \"C:\\u.exe\" /f\n"
        "2000 reg delete \"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\" /v Old /f\n"
        "wait 300\n");

  std::ostringstream out, err;
  ASSERT_EQ(Sim::RunImage(image.string(), (image / "t.scenario").string(), false, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("3 actions, 0 refused"), std::string::npos) << out.str();
  const std::string software = ReadUtf16(config / "SOFTWARE.reg");
  EXPECT_NE(software.find("\"Upd\"=\"C:\\\\u.exe\""), std::string::npos);
  EXPECT_EQ(software.find("\"Old\""), std::string::npos);
  EXPECT_NE(software.find("Kelvra Security\\Brumevale]"), std::string::npos);

  ASSERT_EQ(Sim::RunImage(image.string(), std::nullopt, false, out, err), 0) << err.str();
  std::ostringstream report;
  ASSERT_EQ(Sim::ReportImage(image.string(), true, report, err), 0) << err.str();
  // Three rescans: the first start, the periodic one after the wait, the second start.
  size_t checks = 0;
  for (size_t at = 0; (at = report.str().find("\"settings checked\"", at)) != std::string::npos; ++at) ++checks;
  EXPECT_EQ(checks, 3u) << report.str();
  EXPECT_NE(report.str().find("\"removed\""), std::string::npos) << report.str();
  fs::remove_all(image);
}

}  // namespace
