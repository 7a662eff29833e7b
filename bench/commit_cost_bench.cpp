// What a live event costs the database, against SQLite's own floor on the same disk.
//   Floor: a one-row insert into a one-table database, one exclusive transaction
//     each, with the service's journal mode and sync setting (PERSIST, NORMAL).
//   FloorWithoutSync: the same with synchronous = OFF: no wait for the disk, so
//     the floor's wall time less this one is the disk's share of a commit.
//   LiveEventAdded: what the live path writes for a load point that appears: the
//     row (ReconcileLoadPoint outside a scan), the acting process's row, and the
//     change event with its extended data. commits_per_event counts the
//     transactions it committed, read from the file's change counter.
// Wall time is the benchmark's time; the CPU column is the part spent in this
// process (SQLite and our statement building), the rest is waiting for the disk.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "bench_engine.h"
#include "database/extended_event_data.h"
#include "database/load_point_database.h"
#include "engine/full_scan.h"
#include "ledger/change_record.h"
#include "ledger/load_point_ledger.h"
#include "ledger/process_file.h"

using Database::ExtendedEventData;
using Ledger::AddProcessFile;
using Ledger::ReconcileLoadPoint;
using Ledger::RecordChangeEvent;
using Ledger::kEventLoadPointAdded;
using Ledger::kExtendedAdded;

namespace {

void Exec(sqlite3* db, const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

void RunFloor(benchmark::State& state, const char* sync) {
  const auto folder = BenchEngine::MakeFolder("commit-floor");
  sqlite3* db = nullptr;
  sqlite3_open((folder / "floor.db").string().c_str(), &db);
  Exec(db, "PRAGMA journal_mode = PERSIST");
  Exec(db, sync);
  Exec(db, "CREATE TABLE T (KEY INTEGER PRIMARY KEY AUTOINCREMENT, V VARCHAR)");
  for (auto _ : state) {
    Exec(db, "BEGIN EXCLUSIVE TRANSACTION");
    Exec(db, "INSERT INTO T VALUES (NULL, 'value')");
    Exec(db, "COMMIT TRANSACTION");
  }
  sqlite3_close(db);
  std::filesystem::remove_all(folder);
  state.SetItemsProcessed(state.iterations());
}

void BM_Floor(benchmark::State& state) { RunFloor(state, "PRAGMA synchronous = NORMAL"); }
void BM_FloorWithoutSync(benchmark::State& state) { RunFloor(state, "PRAGMA synchronous = OFF"); }

// SQLite's file change counter (header bytes 24 to 27, big-endian): one more for
// every transaction that wrote the file.
uint32_t ChangeCounter(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  unsigned char header[28] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  return (uint32_t{header[24]} << 24) | (header[25] << 16) | (header[26] << 8) | header[27];
}

void BM_LiveEventAdded(benchmark::State& state) {
  BenchEngine fixture("commit-bench");
  const auto file = fixture.DatabaseFile();
  const uint32_t before = ChangeCounter(file);
  int64_t i = 0;
  for (auto _ : state) {
    const std::string number = std::to_string(i++);
    const std::u16string name = u"Entry" + std::u16string(number.begin(), number.end());
    int32_t key = 0;
    ReconcileLoadPoint(fixture.engine, 1, u"", name, u"C:\\app.exe /run", u"", &key);
    const int32_t processKey = AddProcessFile(fixture.engine, 1200);
    ExtendedEventData added;
    added.extendedEventType = kExtendedAdded;
    added.SetParam(1, name);
    RecordChangeEvent(fixture.engine, u"", key, processKey, kEventLoadPointAdded, &added);
  }
  state.counters["commits_per_event"] =
      static_cast<double>(ChangeCounter(file) - before) / static_cast<double>(i);
  state.SetItemsProcessed(i);
}

}  // namespace

BENCHMARK(BM_Floor)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FloorWithoutSync)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_LiveEventAdded)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK_MAIN();
