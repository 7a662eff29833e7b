#pragma once
// A fresh emulated machine per test, drive C on a new host folder, the product's
// settings initialised on it, and helpers that look at the database file and the
// database log from outside, the way another program would.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "database/load_point_database.h"
#include "platform/emulated/machine/machine.h"
#include "support/temporary_folder.h"
#include "util/brumevale_settings.h"

namespace Database {

using SqlRows = std::vector<std::vector<std::string>>;

class DatabaseTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kServicePid = 1200;
  static constexpr char16_t kLogName[] = u"BrumevaleLogger_DB_Log.txt";

  DatabaseTest();

  // C:\ProgramData\Kelvra Security\Brumevale\Brumevale.data on the machine.
  std::u16string DataPath() const;
  // Where that file (or any machine path) lies on the host.
  std::string HostPath(std::u16string_view path);
  // A fresh database object, opened read-write on DataPath(), its console texts
  // collected in console_.
  std::unique_ptr<LoadPointDatabase> OpenNew(bool readOnly = false);
  // Collects db's console texts in console_.
  void WatchConsole(LoadPointDatabase& db);
  // Runs sql on the file through a connection of its own; NULL cells read "<null>".
  SqlRows Sql(const std::string& sql);
  // The database log as text, after checking it is UTF-16LE with a byte-order mark.
  std::u16string LogText();

  TemporaryFolder drive_;
  Emulated::Machine machine_;
  Platform::System& system_;
  VyrUtilities::BrumevaleSettings settings_;
  std::string console_;
};

}  // namespace Database
