#pragma once
// A small Windows 10 machine image in a temporary folder, booted with the logger
// service installed and running. Tests play scenario lines on it (or write bytes
// through a process's own view of the machine), let the service settle and read the
// database from outside, as the report command does.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/scoped_handle.h"
#include "platform/text_encoding.h"
#include "sim/machine_image.h"
#include "sim/scenario.h"
#include "sim/scenario_player.h"
#include "sim/service_session.h"
#include "support/machine_files.h"

namespace LiveTest {

namespace fs = std::filesystem;
using SqlRows = std::vector<std::vector<std::string>>;

inline constexpr char kAnnSid[] = "S-1-5-21-7-7-7-1001";
inline constexpr char kBoSid[] = "S-1-5-21-7-7-7-1002";
// ann's explorer and an installer she runs.
inline constexpr uint32_t kExplorer = 2000;
inline constexpr uint32_t kInstaller = 3000;

inline constexpr char16_t kAnnStartup[] =
    u"C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
inline constexpr char16_t kCommonStartup[] =
    u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
inline constexpr char16_t kTasks[] = u"C:\\Windows\\System32\\Tasks";

inline void WriteHostFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadHostFile(const fs::path& path) {
  std::stringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

// The real-data folder shared by the team, or empty when this checkout has none.
inline fs::path SharedRealData() {
  const char* dir = getenv("BRUMEVALE_SHARED_DIR");
  fs::path base = dir != nullptr ? fs::path(dir) : fs::path(BRUMEVALE_SHARED_DIR);
  base /= "testdata/real";
  return fs::exists(base) ? base : fs::path();
}

// Text as Windows writes it in UTF-16 files: little-endian with a byte-order mark.
inline std::string Utf16File(const std::string& utf8) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : Platform::Utf8ToUtf16(utf8)) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

// The "PackedCatalogItem" of one protocol catalog entry of the real Winsock export
// ("Catalog_Entries" or "Catalog_Entries64", entry number), as the plain hex digits a
// scenario's REG_BINARY takes; empty when the export holds no such entry.
inline std::string CatalogItemHex(const fs::path& exportFile, const std::string& catalog,
                                  const std::string& entry) {
  const std::string raw = ReadHostFile(exportFile);
  std::u16string wide;  // UTF-16LE after its byte-order mark
  for (size_t i = 2; i + 1 < raw.size(); i += 2) {
    wide += static_cast<char16_t>(static_cast<uint8_t>(raw[i]) | (static_cast<uint8_t>(raw[i + 1]) << 8));
  }
  const std::string text = Platform::Utf16ToUtf8(wide);
  const size_t key = text.find("\\Protocol_Catalog9\\" + catalog + "\\" + entry + "]");
  const size_t value = text.find("\"PackedCatalogItem\"=hex:", key);
  if (key == std::string::npos || value == std::string::npos) return "";
  std::string hex;
  for (size_t at = text.find(':', value) + 1; at < text.size() && text[at] != '\r' && text[at] != '\n'; ++at) {
    if (text[at] == '\\') at = text.find_first_not_of(" \r\n", at + 1) - 1;  // continued line
    else if (isxdigit(static_cast<unsigned char>(text[at]))) hex += text[at];
  }
  return hex;
}

// The same from the real Winsock export; empty when there is none.
inline std::string RealCatalogItemHex(const std::string& catalog, const std::string& entry) {
  const fs::path real = SharedRealData();
  return real.empty() ? "" : CatalogItemHex(real / "registry/winsock2_win10_with_lsp.reg", catalog, entry);
}

class LiveImage : public ::testing::Test {
 protected:
  // software and system: regedit lines added to the image's hives before boot.
  void Boot(const std::string& software = "", const std::string& system = "") {
    std::string pattern = (fs::temp_directory_path() / "live-image-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    WriteImage(software, system);
    std::string error;
    image_ = Sim::BootedImage::Boot(folder_.string(), &error);
    ASSERT_NE(image_, nullptr) << error;
    session_ = std::make_unique<Sim::ServiceSession>(*image_);
    ASSERT_TRUE(session_->Install(&error)) << error;
    ASSERT_TRUE(session_->Start(&error)) << error;
  }

  void TearDown() override {
    std::string error;
    if (session_ != nullptr) session_->Stop(&error);
    session_.reset();
    image_.reset();
    if (!folder_.empty()) fs::remove_all(folder_);
  }

  // Plays scenario lines and waits until the service has handled them.
  void Play(const std::string& lines) {
    Sim::Scenario scenario;
    std::string error;
    ASSERT_TRUE(Sim::ParseScenario(lines, "live.scenario", &scenario, &error)) << error;
    std::ostringstream out;
    EXPECT_EQ(Sim::PlayScenario(*image_, scenario, "live.scenario", *session_, out), 0)
        << out.str();
    session_->Settle();
  }

  // Writes bytes into a file as processId, the way a program would (create, write,
  // close), then lets the service settle.
  void WriteAs(uint32_t processId, const std::u16string& path, const std::string& bytes) {
    WriteMachineFile(image_->Machine().Process(processId).Files(), path,
                     std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    session_->Settle();
  }

  SqlRows Sql(const std::string& sql) {
    SqlRows rows;
    const std::string host = Sim::ImageHostPath(folder_.string(), Sim::kDatabasePath);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(host.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), AppendRow, &rows, &message), SQLITE_OK)
        << sql << ": " << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
    return rows;
  }

  // The change events after `after`, oldest first, one a line: EVENT_TYPE, whether a
  // process is known ("process" or "none"), the ExtendedEvent's type and PARAM_0 to
  // PARAM_5 except PARAM_3 (the process key), when it has one.
  std::string EventsSince(int64_t after) {
    std::string text;
    for (const auto& row : Sql(
             "SELECT c.EVENT_TYPE, CASE WHEN c.PROCESS_ENTRY_KEY > 0 THEN 'process' ELSE 'none' END, "
             "IFNULL(e.EX_EVENT_TYPE || '|' || e.PARAM_0 || '|' || e.PARAM_1 || '|' || e.PARAM_2 || "
             "'|' || e.PARAM_4 || '|' || e.PARAM_5, '-') FROM ChangeEvents c "
             "LEFT JOIN ExtendedEvent e ON e.CHANGE_EVENT_KEY = c.KEY WHERE c.KEY > " +
             std::to_string(after) + " ORDER BY c.KEY")) {
      text += row[0] + " " + row[1] + " " + row[2] + "\n";
    }
    return text;
  }

  int64_t LastEventKey() {
    SqlRows rows = Sql("SELECT IFNULL(MAX(KEY), 0) FROM ChangeEvents");
    return rows.empty() ? 0 : std::stoll(rows[0][0]);
  }

  // The periodic rescan runs; whatever the live events stored, it finds the same: no
  // row added, changed or removed, only the settings check is recorded.
  void ExpectRescanAgrees() {
    const int64_t before = LastEventKey();
    session_->AdvanceClock(300);
    session_->Settle();
    EXPECT_EQ(EventsSince(before), "9 none -\n");
  }

 private:
  static int AppendRow(void* context, int count, char** values, char**) {
    auto* rows = static_cast<SqlRows*>(context);
    rows->emplace_back();
    for (int i = 0; i < count; ++i) rows->back().emplace_back(values[i] ? values[i] : "<null>");
    return 0;
  }

  void WriteImage(const std::string& software, const std::string& system) {
    WriteHostFile(folder_ / "machine.json", std::string(R"({
      "windows": {"major": 10, "minor": 0, "build": 19045, "productType": 1},
      "computerName": "LIVE-PC",
      "users": [{"sid": ")") + kAnnSid + R"(", "account": "LIVE-PC\\ann",
                 "profile": "C:\\Users\\ann", "loggedOn": true},
                {"sid": ")" + kBoSid + R"(", "account": "LIVE-PC\\bo",
                 "profile": "C:\\Users\\bo", "loggedOn": true}],
      "processes": [{"pid": 2000, "image": "C:\\Windows\\explorer.exe", "owner": ")" +
                                          kAnnSid + R"("},
                    {"pid": 3000, "image": "C:\\Tools\\setup.exe", "owner": ")" + kAnnSid +
                                          R"("}]})");
    const fs::path drive = folder_ / "drives/C";
    const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
    WriteHostFile(drive / "Windows/System32/config/SYSTEM.reg",
                  header + "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000001\r\n\r\n" +
                      "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\WinSock2\\Parameters]\r\n\r\n" +
                      system);
    WriteHostFile(drive / "Windows/System32/config/SOFTWARE.reg",
                  header + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n\r\n" +
                      software);
    WriteHostFile(drive / "Tools/setup.exe", "MZ");
    for (const char* dir : {"Users/ann/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup",
                            "Users/bo/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup",
                            "ProgramData/Microsoft/Windows/Start Menu/Programs/Startup",
                            "Windows/System32/Tasks", "Windows/SysWOW64/Tasks"}) {
      fs::create_directories(drive / dir);
    }
  }

  fs::path folder_;
  std::unique_ptr<Sim::BootedImage> image_;
  std::unique_ptr<Sim::ServiceSession> session_;
};

}  // namespace LiveTest
