#include "database_fixture.h"

#include <fstream>
#include <iterator>

namespace Database {

namespace {

int AppendRow(void* context, int count, char** values, char**) {
  auto* rows = static_cast<SqlRows*>(context);
  rows->emplace_back();
  for (int i = 0; i < count; ++i) rows->back().emplace_back(values[i] ? values[i] : "<null>");
  return 0;
}

}  // namespace

DatabaseTest::DatabaseTest()
    : machine_(ConfigOnDrive(drive_.Path())),
      system_(machine_.Process(kServicePid)),
      settings_(system_) {
  settings_.InitialiseProduct();
}

std::u16string DatabaseTest::DataPath() const {
  return settings_.DataDirectory() + u"\\Brumevale.data";
}

std::string DatabaseTest::HostPath(std::u16string_view path) {
  return system_.Files().HostPath(path).value_or("");
}

std::unique_ptr<LoadPointDatabase> DatabaseTest::OpenNew(bool readOnly) {
  auto db = std::make_unique<LoadPointDatabase>(system_, settings_, kLogName);
  WatchConsole(*db);
  EXPECT_TRUE(db->OpenDatabase(DataPath(), readOnly));
  return db;
}

void DatabaseTest::WatchConsole(LoadPointDatabase& db) {
  db.SendConsoleLinesTo([this](std::string_view text) { console_ += text; });
}

SqlRows DatabaseTest::Sql(const std::string& sql) {
  SqlRows rows;
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(HostPath(DataPath()).c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
  char* message = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), AppendRow, &rows, &message), SQLITE_OK)
      << sql << ": " << (message ? message : "");
  sqlite3_free(message);
  sqlite3_close(db);
  return rows;
}

std::u16string DatabaseTest::LogText() {
  std::ifstream file(HostPath(settings_.LogDirectory() + u"\\" + kLogName), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                         static_cast<uint8_t>(bytes[i + 1]) << 8));
  }
  return text;
}

}  // namespace Database
