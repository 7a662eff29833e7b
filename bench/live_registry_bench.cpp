// The live path of one registry change, from the decoded driver entry to its
// committed change event, against plain one-row commits on the same database in
// the same run. The baselines are plain SQL: the one-row insert's text run through
// sqlite3_exec on a connection of their own, so that they do not move when the
// service's own statements get faster. A live event is bound by the durable commits it makes; the ratio
// says what it costs beyond them. The commits themselves are counted from the
// database file's change counter, which SQLite bumps once per writing transaction.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench_engine.h"
#include "database/load_point_database.h"
#include "engine/load_point_engine.h"
#include "fileinfo/file_information.h"
#include "intake/data_collector.h"
#include "intake/driver_record.h"
#include "intake/registry_entry.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/processes/process_control.h"
#include "platform/scoped_handle.h"
#include "util/brumevale_settings.h"
#include "util/drive_map.h"
#include "util/vyr_log.h"

using Database::ExtendedEventData;
using Database::FileInformation;
using Database::LoadPointDatabase;
using Database::kDatabaseFileName;
using Engine::EngineHandlers;
using Engine::LoadPointEngine;
using FileInfo::LoadFileInformation;
using Intake::DataConsumer;
using Intake::DriverRecord;
using Intake::RegistryEntry;
using Intake::SystemLogEntry;
using Intake::kOpRegistryKeyDeleted;
using Intake::kOpRegistryValueDeleted;
using Intake::kOpRegistryValueSet;

namespace {

constexpr uint32_t kInstallerId = 3100;
constexpr char16_t kRunKey[] = u"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::vector<uint8_t> Wide(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

class Queue : public DataConsumer {
 public:
  void Add(std::unique_ptr<SystemLogEntry> entry) { entries_.push_back(std::move(entry)); }
  SystemLogEntry* TakeNextEntry() override {
    if (next_ == entries_.size()) {
      entries_.clear();
      next_ = 0;
      return nullptr;
    }
    return entries_[next_++].get();
  }

 private:
  std::vector<std::unique_ptr<SystemLogEntry>> entries_;
  size_t next_ = 0;
};

// An engine whose rescans are off, an installer process whose image is a small
// unsigned file, a second connection of the service's for the rows an event
// writes, and a plain one for the baselines.
struct Fixture {
  Fixture()
      : folder(BenchEngine::MakeFolder("live-bench")), machine(Config(folder)), system(machine.Process(900)), log(system),
        drives(system), settings(system), engine(system, log, drives) {
    settings.InitialiseProduct();
    std::filesystem::create_directories(folder / "Setup");
    std::ofstream(folder / "Setup" / "setup.exe", std::ios::binary) << std::string(4096, 'x');
    Emulated::ProcessLaunch launch;
    launch.imagePath = u"C:\\Setup\\setup.exe";
    launch.processId = kInstallerId;
    Emulated::StartProcess(machine, launch);
    EngineHandlers& handlers = engine.Handlers();
    handlers.fullLoadPointScan = [](LoadPointEngine&, int32_t) { return 1; };
    handlers.checkSystemSettings = [](LoadPointEngine&) { return 1; };
    handlers.checkFileExtensions = [](LoadPointEngine&) { return 1; };
    engine.Initialise(&queue, &settings);
    plain = std::make_unique<LoadPointDatabase>(system, settings, u"Plain_Log.txt");
    plain->OpenDatabase(settings.DataDirectory() + u"\\" + kDatabaseFileName, false);
    sqlite3_open(system.Files().HostPath(settings.DataDirectory() + u"\\" + kDatabaseFileName)->c_str(), &raw);
    for (const char* setting : {"PRAGMA journal_mode = PERSIST", "PRAGMA synchronous = NORMAL"}) Exec(setting);
    sqlite3_busy_timeout(raw, 60000);
  }
  ~Fixture() {
    sqlite3_close(raw);
    plain.reset();
    engine.Shutdown();
    std::filesystem::remove_all(folder);
  }
  static Emulated::MachineConfig Config(const std::filesystem::path& folder) {
    Emulated::MachineConfig config;
    config.drives.push_back({u'C', folder.string(), 2});
    return config;
  }

  void Queue(uint32_t op, std::u16string_view name, std::u16string_view data) {
    QueueValue(kRunKey, op, name, Platform::kRegSz, Wide(data));
  }
  void QueueValue(std::u16string_view key, uint32_t op, std::u16string_view name, uint32_t type,
                  const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes = Wide(key);
    if (op != kOpRegistryKeyDeleted) {
      const std::vector<uint8_t> wideName = Wide(name);
      bytes.insert(bytes.end(), wideName.begin(), wideName.end());
      bytes.insert(bytes.end(), data.begin(), data.end());
    }
    const DriverRecord record{.dataLength = static_cast<uint32_t>(bytes.size()), .id2 = kInstallerId,
                              .operation = op, .detail = type, .data = bytes};
    queue.Add(std::make_unique<RegistryEntry>(system, record));
  }

  void Exec(const char* sql) { sqlite3_exec(raw, sql, nullptr, nullptr, nullptr); }
  // The baseline statement: one ChangeEvents row, as the service's text has it.
  void InsertOneRow() { Exec("INSERT INTO ChangeEvents VALUES (NULL, DATETIME('NOW', 'LOCALTIME'), 0, 0, 0)"); }

  // SQLite's file change counter (header offset 24): one per writing transaction.
  uint32_t CommitCounter() {
    const std::string file =
        system.Files().HostPath(settings.DataDirectory() + u"\\" + kDatabaseFileName).value_or("");
    unsigned char header[28] = {};
    std::ifstream(file, std::ios::binary).read(reinterpret_cast<char*>(header), sizeof header);
    return (header[24] << 24) | (header[25] << 16) | (header[26] << 8) | header[27];
  }

  std::filesystem::path folder;
  Emulated::Machine machine;
  Platform::System& system;
  VyrUtilities::VyrLog log;
  VyrUtilities::DriveMap drives;
  VyrUtilities::BrumevaleSettings settings;
  ::Queue queue;
  LoadPointEngine engine;
  std::unique_ptr<LoadPointDatabase> plain;
  sqlite3* raw = nullptr;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The baselines run after the live events rather than between them: a commit by
// another connection makes the service read its identity index again at its next
// event (PRAGMA data_version), which a baseline commit after every event would force
// each time, and which no deployment pays per event.
double OneRowCommits(Fixture& fixture, uint64_t count) {
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t c = 0; c < count; ++c) fixture.InsertOneRow();
  return Seconds(start);
}

// One add, one change and one delete of a Run value per iteration; then as many
// one-row commits as the three made, on the same file.
void BM_LiveAddChangeDelete(benchmark::State& state) {
  Fixture fixture;
  double live = 0;
  uint64_t commits = 0, events = 0;
  int64_t i = 0;
  for (auto _ : state) {
    const std::u16string name = u"Agent" + std::u16string(1, u'A' + i % 26) + std::u16string(1, u'a' + (i / 26) % 26);
    fixture.Queue(kOpRegistryValueSet, name, u"C:\\agent.exe");
    fixture.Queue(kOpRegistryValueSet, name, u"C:\\agent2.exe");
    fixture.Queue(kOpRegistryValueDeleted, name, u"");
    const uint32_t before = fixture.CommitCounter();
    const auto start = std::chrono::steady_clock::now();
    fixture.engine.Dispatch();
    const double liveTime = Seconds(start);
    commits += fixture.CommitCounter() - before;
    live += liveTime;
    events += 3;
    state.SetIterationTime(liveTime);
    ++i;
  }
  const double plain = OneRowCommits(fixture, commits);
  state.counters["commits_per_event"] = static_cast<double>(commits) / static_cast<double>(events);
  state.counters["baseline_us_per_event"] = plain * 1e6 / static_cast<double>(events);
  state.counters["live_us_per_event"] = live * 1e6 / static_cast<double>(events);
  state.counters["live_over_baseline"] = live / plain;
}
BENCHMARK(BM_LiveAddChangeDelete)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(300);

// One value set per dispatch pass, as a program that changes one Run value now and
// then: the event against one durable one-row commit on the same file.
void BM_SingleLiveEvent(benchmark::State& state) {
  Fixture fixture;
  double live = 0;
  uint64_t commits = 0, events = 0;
  int64_t i = 0;
  for (auto _ : state) {
    fixture.Queue(kOpRegistryValueSet, u"Single", i % 2 == 0 ? u"C:\\one.exe" : u"C:\\two.exe");
    const uint32_t before = fixture.CommitCounter();
    const auto start = std::chrono::steady_clock::now();
    fixture.engine.Dispatch();
    const double liveTime = Seconds(start);
    commits += fixture.CommitCounter() - before;
    live += liveTime;
    ++events;
    state.SetIterationTime(liveTime);
    ++i;
  }
  const double plain = OneRowCommits(fixture, events);
  // The floor: the rows a change event writes (process, command line, change event,
  // its link and extended data), committed alone as often, without the live path.
  FileInformation process;
  LoadFileInformation(fixture.system, process, u"C:\\Setup\\setup.exe");
  LoadPointDatabase& rows = *fixture.plain;
  const int32_t key = rows.AddLoadPointEntry(1, u"", u"Floor", u"C:\\one.exe", u"");
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t e = 0; e < events; ++e) {
    rows.BeginTransaction();
    const int32_t processKey = rows.AddProcessEntry(process, 0, false);
    rows.UpdateLoadPointEntry(key, e % 2 == 0 ? u"C:\\two.exe" : u"C:\\one.exe");
    const int32_t eventKey = rows.AddChangeEventEntry(u"", key, processKey, 14);
    rows.UpdateLoadPointEntry(key, eventKey);
    ExtendedEventData data;
    data.changeEventKey = eventKey;
    data.extendedEventType = 2;
    data.SetParam(1, u"Floor");
    data.SetParam(4, e % 2 == 0 ? u"C:\\two.exe" : u"C:\\one.exe");
    rows.AddExtendedEventEntry(data);
    rows.EndTransaction();
  }
  const double floor = Seconds(start);
  state.counters["commits_per_event"] = static_cast<double>(commits) / static_cast<double>(events);
  state.counters["baseline_commits_per_s"] = static_cast<double>(events) / plain;
  state.counters["events_per_s"] = static_cast<double>(events) / live;
  state.counters["live_over_baseline"] = live / plain;
  state.counters["event_rows_over_baseline"] = floor / plain;
}
BENCHMARK(BM_SingleLiveEvent)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(300);

std::u16string BurstName(int v) {
  return u"Value" + std::u16string(1, u'0' + v % 10) + std::u16string(1, u'0' + (v / 10) % 10) +
         std::u16string(1, u'0' + (v / 100) % 10) + std::u16string(1, u'0' + (v / 1000) % 10);
}

// The rows one live add writes (process, load point and its list, change event, its
// link and extended data), through the service's statements without the live path.
void WriteAddRows(LoadPointDatabase& database, const FileInformation& process, const std::u16string& name) {
  const int32_t processKey = database.AddProcessEntry(process, 0, false);
  const int32_t key = database.AddLoadPointEntry(1, u"", name, u"C:\\burst.exe", u"");
  const int32_t eventKey = database.AddChangeEventEntry(u"", key, processKey, 13);
  database.UpdateLoadPointEntry(key, eventKey);
  ExtendedEventData data;
  data.changeEventKey = eventKey;
  data.extendedEventType = 1;
  data.SetParam(1, name);
  data.SetParam(4, u"C:\\burst.exe");
  database.AddExtendedEventEntry(data);
}

// An installer writing 10,000 values into one Run key in one burst, against 10,000
// one-row commits, against those inserts grouped in one transaction, and against the
// rows of the 10,000 adds written by the service's statements in one transaction.
void BM_BurstOfValueSetsOnOneRunKey(benchmark::State& state) {
  constexpr int kBurst = 10000;
  double live = 0, plain = 0, grouped = 0, groupedRows = 0;
  uint32_t commits = 0;
  for (auto _ : state) {
    Fixture fixture;
    for (int v = 0; v < kBurst; ++v) fixture.Queue(kOpRegistryValueSet, BurstName(v), u"C:\\burst.exe");
    const uint32_t before = fixture.CommitCounter();
    auto start = std::chrono::steady_clock::now();
    fixture.engine.Dispatch();
    live = Seconds(start);
    commits = fixture.CommitCounter() - before;
    start = std::chrono::steady_clock::now();
    for (int c = 0; c < kBurst; ++c) fixture.InsertOneRow();
    plain = Seconds(start);
    // The same SQL text in one transaction: what the writes cost without commits.
    start = std::chrono::steady_clock::now();
    fixture.Exec("BEGIN EXCLUSIVE TRANSACTION");
    for (int c = 0; c < kBurst; ++c) fixture.InsertOneRow();
    fixture.Exec("COMMIT TRANSACTION");
    grouped = Seconds(start);
    FileInformation process;
    LoadFileInformation(fixture.system, process, u"C:\\Setup\\setup.exe");
    start = std::chrono::steady_clock::now();
    fixture.plain->BeginTransaction();
    for (int v = 0; v < kBurst; ++v) WriteAddRows(*fixture.plain, process, u"Plain" + BurstName(v));
    fixture.plain->EndTransaction();
    groupedRows = Seconds(start);
    state.SetIterationTime(live);
  }
  state.counters["commits_per_event"] = static_cast<double>(commits) / kBurst;
  state.counters["events_per_s"] = kBurst / live;
  state.counters["baseline_commits_per_s"] = kBurst / plain;
  state.counters["grouped_inserts_per_s"] = kBurst / grouped;
  state.counters["live_over_one_row_commits"] = plain / live;
  state.counters["live_time_over_grouped"] = live / grouped;
  state.counters["grouped_event_rows_per_s"] = kBurst / groupedRows;
  state.counters["live_time_over_grouped_event_rows"] = live / groupedRows;
}
BENCHMARK(BM_BurstOfValueSetsOnOneRunKey)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// A record grown by a long life: removals of other load points, a few of them
// disables, written straight into the file before the service reads it.
void FillOldRemovals(Fixture& fixture, int64_t count) {
  const std::string n = std::to_string(count);
  fixture.Exec("BEGIN EXCLUSIVE TRANSACTION");
  fixture.Exec(("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + n +
                ") INSERT INTO ChangeEvents (EVENT_TIME, PROCESS_ENTRY_KEY, LOAD_POINT_KEY, EVENT_TYPE) "
                "SELECT '2026-01-01 00:00:00', 0, 0, 2 FROM n").c_str());
  fixture.Exec("INSERT INTO ExtendedEvent (CHANGE_EVENT_KEY, EX_EVENT_TYPE, PARAM_0, PARAM_1, PARAM_2) "
               "SELECT KEY, 4, '1', 'Old' || KEY, '' FROM ChangeEvents WHERE EVENT_TYPE = 2");
  fixture.Exec("INSERT INTO EventOrigin SELECT KEY, 0, 1 FROM ChangeEvents WHERE EVENT_TYPE = 2 AND KEY % 1000 = 0");
  fixture.Exec("COMMIT TRANSACTION");
}

std::vector<uint8_t> Dword(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)};
}

// A service installed, switched off (Start 4) and on again (Start 2), one dispatch
// pass each, on a record of range(0) earlier removals of other load points. Both
// additions ask the record whether the service's last removal was a disable: the
// new one has none (the question a record walk answers slowest), the return has
// one. Against as many one-row commits; the CPU column is the engine thread's.
void BM_ServiceAddedDisabledAndBackOnLargeRecord(benchmark::State& state) {
  Fixture fixture;
  FillOldRemovals(fixture, state.range(0));
  Platform::Registry& registry = fixture.system.Registry();
  double live = 0;
  uint64_t commits = 0, events = 0;
  int i = 0;
  for (auto _ : state) {
    const std::u16string path = u"SYSTEM\\ControlSet001\\Services\\BenchSvc" + std::u16string(1, u'A' + i % 26) +
                                std::u16string(1, u'A' + i / 26 % 26) + std::u16string(1, u'A' + i / 676 % 26);
    Platform::ScopedKey key;
    registry.CreateKey(Platform::kHkeyLocalMachine, path, 0, Platform::kKeyAllAccess, key.Receive(registry), nullptr);
    registry.SetValue(key.Get(), u"ImagePath", Platform::kRegExpandSz, Wide(u"C:\\Program Files\\Bench\\svc.exe"));
    registry.SetValue(key.Get(), u"Type", Platform::kRegDword, Dword(16));
    double iteration = 0;
    for (uint32_t start : {2u, 4u, 2u}) {
      registry.SetValue(key.Get(), u"Start", Platform::kRegDword, Dword(start));
      fixture.QueueValue(u"\\REGISTRY\\MACHINE\\" + path, kOpRegistryValueSet, u"Start", Platform::kRegDword,
                         Dword(start));
      const uint32_t before = fixture.CommitCounter();
      const auto begin = std::chrono::steady_clock::now();
      fixture.engine.Dispatch();
      iteration += Seconds(begin);
      commits += fixture.CommitCounter() - before;
      ++events;
    }
    live += iteration;
    state.SetIterationTime(iteration);
    ++i;
  }
  const double plain = OneRowCommits(fixture, commits);
  // The work measured is the one meant: every return is marked.
  sqlite3_stmt* marks = nullptr;
  sqlite3_prepare_v2(fixture.raw, "SELECT COUNT(*) FROM EventOrigin WHERE STATE_CHANGE = 2", -1, &marks, nullptr);
  state.counters["enabled_again_marks"] = sqlite3_step(marks) == SQLITE_ROW ? sqlite3_column_int(marks, 0) : -1;
  sqlite3_finalize(marks);
  state.counters["live_us_per_event"] = live * 1e6 / static_cast<double>(events);
  state.counters["baseline_us_per_event"] = plain * 1e6 / static_cast<double>(events);
  state.counters["live_over_baseline"] = live / plain;
}
BENCHMARK(BM_ServiceAddedDisabledAndBackOnLargeRecord)->Arg(0)->Arg(200000)->UseManualTime()
    ->Unit(benchmark::kMicrosecond)->Iterations(100);

}  // namespace

BENCHMARK_MAIN();
