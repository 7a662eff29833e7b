// Load-point inserts per second, one at a time (each its own transaction, as a live
// event writes) against grouped in one exclusive transaction (as a rescan writes).
// The grouped figure is the reason rescans hold one transaction from start to end.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "bench_engine.h"
#include "database/load_point_database.h"
#include "platform/emulated/machine/machine.h"
#include "util/brumevale_settings.h"

using Database::FormatInt;
using Database::FromAnsi;
using Database::LoadPointDatabase;

namespace {

struct Fixture {
  Fixture()
      : folder(BenchEngine::MakeFolder("db-bench")), machine(BenchEngine::Config(folder)),
        settings(machine.Process(1200)) {
    settings.InitialiseProduct();
    db = std::make_unique<LoadPointDatabase>(machine.Process(1200), settings, u"");
    db->OpenDatabase(settings.DataDirectory() + u"\\Brumevale.data", false);
  }
  ~Fixture() {
    db.reset();
    std::filesystem::remove_all(folder);
  }
  std::filesystem::path folder;
  Emulated::Machine machine;
  VyrUtilities::BrumevaleSettings settings;
  std::unique_ptr<LoadPointDatabase> db;
};

void Insert(LoadPointDatabase& db, int64_t i) {
  db.AddLoadPointEntry(1, u"S-1-5-21-1004", u"Entry" + FromAnsi(FormatInt(static_cast<int32_t>(i))),
                       u"\"C:\\Program Files\\Vendor\\app.exe\" /background", u"Display");
}

void BM_InsertEachOnItsOwn(benchmark::State& state) {
  Fixture fixture;
  int64_t i = 0;
  for (auto _ : state) Insert(*fixture.db, i++);
  state.SetItemsProcessed(i);
}

void BM_InsertGroupedInOneTransaction(benchmark::State& state) {
  Fixture fixture;
  int64_t i = 0;
  for (auto _ : state) {
    fixture.db->BeginTransaction();
    for (int n = 0; n < 100; ++n) Insert(*fixture.db, i++);
    fixture.db->EndTransaction();
  }
  state.SetItemsProcessed(i);
}

}  // namespace

BENCHMARK(BM_InsertEachOnItsOwn)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_InsertGroupedInOneTransaction)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_MAIN();
