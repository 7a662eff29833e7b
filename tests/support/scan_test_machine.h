#pragma once
// An emulated machine with an initialised engine whose own rescan and checks are
// switched off, so that a test runs exactly the scan it is about and then reads the
// rows it left, from outside, the way another program would.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "database/load_point_database.h"
#include "engine/full_scan.h"
#include "engine/load_point_engine.h"
#include "ledger/load_point_ledger.h"
#include "ledger/rescan_pass.h"
#include "platform/emulated/regedit/regedit_import.h"
#include "platform/scoped_handle.h"
#include "platform/text_encoding.h"
#include "support/machine_files.h"
#include "support/temporary_machine.h"
#include "util/brumevale_settings.h"
#include "util/drive_map.h"
#include "util/vyr_log.h"

using SqlRows = std::vector<std::vector<std::string>>;

inline constexpr char16_t kAliceSid[] = u"S-1-5-21-1004336348-1177238915-682003330-1001";
inline constexpr char16_t kBobSid[] = u"S-1-5-21-1004336348-1177238915-682003330-1002";

// alice is logged on (hives loaded), bob has a profile but is logged off.
inline Emulated::MachineConfig TwoUserConfig() {
  Emulated::MachineConfig config;
  config.users.push_back({kAliceSid, u"DESKTOP-BRUMEVL", u"alice", u"C:\\Users\\alice", true});
  config.users.push_back({kBobSid, u"DESKTOP-BRUMEVL", u"bob", u"C:\\Users\\bob", false});
  return config;
}

// A real regedit export of the shared test data.
inline std::string SharedRegistryFile(const std::string& name) {
  return std::string(BRUMEVALE_SHARED_DIR) + "/testdata/real/registry/" + name;
}

class ScanMachine {
 public:
  // bootRegistry: regedit text (as for Import) already there when the engine starts.
  // With a consumer the engine keeps its real rescans and dispatches what it queues.
  explicit ScanMachine(Emulated::MachineConfig config = TwoUserConfig(),
                       const std::string& bootRegistry = "", Intake::DataConsumer* consumer = nullptr)
      : machine_(std::move(config)), system_(machine_.Service()), log_(system_), drives_(system_),
        settings_(system_), engine_(system_, log_, drives_) {
    settings_.InitialiseProduct();
    if (!bootRegistry.empty()) Import(bootRegistry);
    if (consumer == nullptr) {
      Engine::EngineHandlers& handlers = engine_.Handlers();
      handlers.fullLoadPointScan = [](Engine::LoadPointEngine&, int32_t) { return 1; };
      handlers.checkSystemSettings = [](Engine::LoadPointEngine&) { return 1; };
      handlers.checkFileExtensions = [](Engine::LoadPointEngine&) { return 1; };
    }
    engine_.Initialise(consumer, &settings_);
  }

  Platform::System& System() { return system_; }
  Emulated::Machine& Machine() { return machine_.Machine(); }
  Engine::LoadPointEngine& Engine() { return engine_; }
  Database::LoadPointDatabase& Database() { return *engine_.Database(); }

  // regedit text after the "Windows Registry Editor Version 5.00" line.
  void Import(const std::string& body) {
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n" + body;
    std::u16string error;
    ASSERT_TRUE(Emulated::ImportRegedit(
        machine_.Machine().RegistryState(),
        std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), u"test.reg", &error))
        << std::string(error.begin(), error.end());
  }

  // A regedit export file (UTF-16 with a byte-order mark), imported below its
  // header line.
  void ImportExportFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                           (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    }
    const std::string utf8 = Platform::Utf16ToUtf8(text);
    Import(utf8.substr(utf8.find('\n') + 1));
  }

  // Writes the file on the machine, creating the folders that lead to it.
  void WriteFile(const std::u16string& path, std::span<const uint8_t> bytes) {
    WriteMachineFile(system_.Files(), path, bytes);
  }
  void WriteFile(const std::u16string& path, const std::string& text = "x") {
    WriteFile(path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  }

  // Runs scan between BeginFullScan and EndFullScan, as the full rescan would.
  template <typename Scan>
  void RunInScan(Scan scan) {
    Ledger::BeginFullScan(engine_);
    scan(engine_);
    Ledger::EndFullScan(engine_);
  }

  // Where Brumevale.data lies on the host.
  std::string DatabaseHostPath() {
    return system_.Files()
        .HostPath(settings_.DataDirectory() + u"\\" + Database::kDatabaseFileName)
        .value_or("");
  }

  SqlRows Sql(const std::string& sql) {
    SqlRows rows;
    const std::string host = DatabaseHostPath();
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(host.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), AppendRow, &rows, &message), SQLITE_OK)
        << sql << ": " << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
    return rows;
  }

 private:
  static int AppendRow(void* context, int count, char** values, char**) {
    auto* rows = static_cast<SqlRows*>(context);
    rows->emplace_back();
    for (int i = 0; i < count; ++i) rows->back().emplace_back(values[i] ? values[i] : "<null>");
    return 0;
  }

  TemporaryMachine machine_;
  Platform::System& system_;
  VyrUtilities::VyrLog log_;
  VyrUtilities::DriveMap drives_;
  VyrUtilities::BrumevaleSettings settings_;
  Engine::LoadPointEngine engine_;
};
