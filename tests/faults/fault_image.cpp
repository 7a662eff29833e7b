#include "fault_image.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "database/sql_text.h"
#include "platform/text_encoding.h"
#include "sim/machine_image.h"
#include "sim/scenario_player.h"
#include "sim/sim_commands.h"

using Database::FromUtf8;

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

int AppendRow(void* context, int count, char** values, char**) {
  auto* rows = static_cast<std::vector<std::vector<std::string>>*>(context);
  rows->emplace_back();
  for (int i = 0; i < count; ++i) rows->back().emplace_back(values[i] ? values[i] : "");
  return 0;
}

std::string ExtraValues(int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += "\"Extra" + std::to_string(i) + "\"=\"C:\\\\extra\\\\e" + std::to_string(i) + ".exe\"\r\n";
  return text;
}

}  // namespace

FaultImage::FaultImage(int extraRunValues) {
  const fs::path root = folder_.Path();
  const fs::path config = root / "drives/C/Windows/System32/config";
  WriteFile(root / "machine.json",
            std::string(R"({"users": [{"sid": ")") + kUserSid +
                R"(", "account": "FAULTS\\ann", "profile": "C:\\Users\\ann", "loggedOn": true}],
                "processes": [{"pid": 2000, "image": "C:\\Windows\\explorer.exe", "owner": ")" +
                kUserSid + R"("}]})");
  WriteFile(config / "SYSTEM.reg",
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000001\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Steady]\r\n"
            "\"Type\"=dword:00000010\r\n\"Start\"=dword:00000002\r\n\"ImagePath\"=\"C:\\\\steady.exe\"\r\n");
  WriteFile(config / "SOFTWARE.reg",
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
            "\"Steady\"=\"C:\\\\steady.exe\"\r\n" + ExtraValues(extraRunValues));
  WriteFile(root / "drives/C/Windows/explorer.exe", "MZ");
}

std::string FaultImage::DatabaseHostPath() const {
  return Sim::ImageHostPath(Folder(), Sim::kDatabasePath);
}

Sim::Scenario FaultImage::Parse(const std::string& text) {
  Sim::Scenario scenario;
  std::string error;
  EXPECT_TRUE(Sim::ParseScenario(text, "faults.scenario", &scenario, &error)) << error;
  return scenario;
}

std::string FaultImage::Run(const Sim::Scenario& scenario, const Hook& before, const Hook& after) {
  std::string error;
  auto image = Sim::BootedImage::Boot(Folder(), &error);
  EXPECT_NE(image, nullptr) << error;
  if (!image) return {};
  Sim::ServiceSession session(*image);
  EXPECT_TRUE(session.Install(&error)) << error;
  EXPECT_TRUE(session.Start(&error)) << error;
  if (before) before(*image, session);
  std::ostringstream out;
  Sim::PlayScenario(image->Machine(), scenario, "faults.scenario", session, out);
  session.Settle();
  if (after) after(*image, session);
  EXPECT_TRUE(session.Stop(&error)) << error;
  EXPECT_TRUE(image->Save(&error)) << error;
  return out.str();
}

std::vector<StoredLoadPoint> FaultImage::LoadPoints() const {
  std::vector<StoredLoadPoint> points;
  for (const auto& row : QueryFile(DatabaseHostPath(),
                                   "SELECT LP_TYPE, USER_ID, ENTRY_NAME, COMMAND_LINE FROM LoadPoints")) {
    points.push_back({std::stoi(row[0]), FromUtf8(row[1]), FromUtf8(row[2]), FromUtf8(row[3])});
  }
  return points;
}

bool FaultImage::Find(int32_t type, std::u16string_view entry, StoredLoadPoint* found) const {
  for (const StoredLoadPoint& point : LoadPoints()) {
    if (point.type == type && point.entry == entry) {
      *found = point;
      return true;
    }
  }
  return false;
}

std::string FaultImage::DatabaseLog() const { return Log(u"BrumevaleLogger_DB_Log.txt"); }

std::string FaultImage::Log(std::u16string_view name) const {
  const std::string path = Sim::ImageHostPath(
      Folder(), u"C:\\ProgramData\\Kelvra Security\\Brumevale\\Logs\\" + std::u16string(name));
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8));
  return Platform::Utf16ToUtf8(text);
}

bool FileIsLocked(const std::string& path) {
  sqlite3* probe = nullptr;
  sqlite3_open(path.c_str(), &probe);
  const bool locked = sqlite3_exec(probe, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_BUSY;
  if (!locked) sqlite3_exec(probe, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(probe);
  return locked;
}

size_t Occurrences(const std::string& haystack, const std::string& text) {
  size_t count = 0;
  for (size_t at = haystack.find(text); at != std::string::npos; at = haystack.find(text, at + 1)) ++count;
  return count;
}

std::string FaultImage::Report(bool json) const {
  std::ostringstream out, err;
  EXPECT_EQ(Sim::ReportImage(Folder(), json, out, err), 0) << err.str();
  return out.str();
}

std::vector<std::vector<std::string>> QueryFile(const std::string& path, const std::string& sql) {
  std::vector<std::vector<std::string>> rows;
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK) << path;
  sqlite3_busy_timeout(db, 30000);
  char* message = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), AppendRow, &rows, &message), SQLITE_OK)
      << sql << ": " << (message ? message : "");
  sqlite3_free(message);
  sqlite3_close(db);
  return rows;
}
