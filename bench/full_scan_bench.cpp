// Full rescan cost per load point on generated machines of 1,000, 10,000 and 50,000
// load points spread over ten location families: the first scan (every row added),
// a second scan (nothing changed), and the same number of plain load-point inserts
// in one transaction as the floor that any scan pays.

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "bench_engine.h"
#include "database/load_point_database.h"
#include "engine/full_scan.h"
#include "platform/scoped_handle.h"

using Database::LoadPointDatabase;
using Engine::FullLoadPointScan;

namespace {

// One family: the key of entry i below root, the value it writes and its data.
struct Family {
  Platform::Handle root;
  std::u16string (*key)(int64_t i);
  const char16_t* value;  // null: the entry's own name is the value
  bool catalogItem = false;
};

std::u16string Num(int64_t i) {
  const std::string text = std::to_string(i);
  return std::u16string(text.begin(), text.end());
}

const Family kFamilies[] = {
    {Platform::kHkeyLocalMachine, [](int64_t) { return std::u16string(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"); }, nullptr},
    {Platform::kHkeyLocalMachine, [](int64_t) { return std::u16string(u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"); }, nullptr},
    {Platform::kHkeyUsers, [](int64_t) { return std::u16string(kBenchUserSid) + u"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"; }, nullptr},
    {Platform::kHkeyLocalMachine, [](int64_t) { return std::u16string(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks"); }, nullptr},
    {Platform::kHkeyLocalMachine, [](int64_t i) { return u"SYSTEM\\ControlSet001\\Services\\Svc" + Num(i); }, u"ImagePath"},
    {Platform::kHkeyLocalMachine, [](int64_t i) { return u"SYSTEM\\ControlSet001\\Services\\Drv" + Num(i); }, u"ImagePath"},
    {Platform::kHkeyLocalMachine, [](int64_t i) { return u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\app" + Num(i) + u".exe"; }, u"Debugger"},
    {Platform::kHkeyLocalMachine, [](int64_t i) { return u"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{C" + Num(i) + u"}"; }, u"StubPath"},
    {Platform::kHkeyLocalMachine, [](int64_t i) { return u"SOFTWARE\\Classes\\PROTOCOLS\\Handler\\p" + Num(i); }, u"CLSID"},
    {Platform::kHkeyLocalMachine, [](int64_t i) { return u"SYSTEM\\ControlSet001\\Services\\WinSock2\\Parameters\\Protocol_Catalog9\\Catalog_Entries\\" + Num(i); }, u"PackedCatalogItem", true},
};

std::span<const uint8_t> Bytes(const std::u16string& text) {
  return {reinterpret_cast<const uint8_t*>(text.c_str()), (text.size() + 1) * 2};
}

void SetDword(Platform::Registry& registry, Platform::Handle key, std::u16string_view name,
              uint32_t value) {
  registry.SetValue(key, name, Platform::kRegDword,
                    std::span(reinterpret_cast<const uint8_t*>(&value), 4));
}

void WriteEntry(Platform::Registry& registry, const Family& family, int64_t i) {
  Platform::ScopedKey key;
  registry.CreateKey(family.root, family.key(i), 0, Platform::kKeyAllAccess,
                     key.Receive(registry), nullptr);
  const std::u16string command = u"\"C:\\Program Files\\Vendor\\app" + Num(i) + u".exe\" /background";
  if (family.catalogItem) {
    std::vector<uint8_t> item(1000, 0);
    const std::string path = "C:\\Windows\\system32\\lsp" + std::to_string(i) + ".dll";
    std::copy(path.begin(), path.end(), item.begin());
    item[376] = 'P';
    registry.SetValue(key.Get(), family.value, Platform::kRegBinary, item);
    return;
  }
  const std::u16string name = family.value != nullptr ? family.value : u"Entry" + Num(i);
  registry.SetValue(key.Get(), name, Platform::kRegSz, Bytes(command));
  if (family.value != nullptr && std::u16string_view(family.value) == u"ImagePath") {
    SetDword(registry, key.Get(), u"Type", family.key(0).find(u"Drv") != std::u16string::npos ? 1 : 16);
    SetDword(registry, key.Get(), u"Start", 2);
  }
}

// A machine with loadPoints entries spread over the families.
struct ScanFixture : BenchEngine {
  explicit ScanFixture(int64_t loadPoints)
      : BenchEngine("scan-bench", [loadPoints](Platform::Registry& registry) {
          constexpr int64_t kCount = sizeof(kFamilies) / sizeof(kFamilies[0]);
          for (int64_t i = 0; i < loadPoints; ++i) WriteEntry(registry, kFamilies[i % kCount], i);
        }) {}
};

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Times measured() on a fresh fixture prepared by setup().
void RunTimed(benchmark::State& state, const std::function<void(ScanFixture&)>& setup,
              const std::function<void(ScanFixture&)>& measured) {
  const int64_t loadPoints = state.range(0);
  for (auto _ : state) {
    ScanFixture fixture(loadPoints);
    setup(fixture);
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    measured(fixture);
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    state.counters["us_per_load_point"] = elapsed.count() * 1e6 / static_cast<double>(loadPoints);
    // The machine is shared: wall time also holds waits for the disk and for other
    // programs, so the section's own CPU time is given beside it.
    state.counters["cpu_us_per_load_point"] = cpu * 1e6 / static_cast<double>(loadPoints);
  }
  state.SetItemsProcessed(state.iterations() * loadPoints);
}

void BM_FirstScanAddsEverything(benchmark::State& state) {
  RunTimed(state, [](ScanFixture&) {}, [](ScanFixture& f) { FullLoadPointScan(f.engine, 0); });
}

void BM_SecondScanFindsNothingChanged(benchmark::State& state) {
  RunTimed(state, [](ScanFixture& f) { FullLoadPointScan(f.engine, 0); },
           [](ScanFixture& f) { FullLoadPointScan(f.engine, 0); });
}

void BM_PlainInsertsInOneTransaction(benchmark::State& state) {
  const int64_t loadPoints = state.range(0);
  RunTimed(state, [](ScanFixture&) {}, [loadPoints](ScanFixture& f) {
    LoadPointDatabase& db = *f.engine.Database();
    db.BeginTransaction();
    for (int64_t i = 0; i < loadPoints; ++i) {
      db.AddLoadPointEntry(1, u"", u"Entry" + Num(i),
                           u"\"C:\\Program Files\\Vendor\\app.exe\" /background", u"");
    }
    db.EndTransaction();
  });
}

#define SCAN_SIZES ->Arg(1000)->Arg(2000)->Arg(10000)->Arg(50000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond)
BENCHMARK(BM_PlainInsertsInOneTransaction) SCAN_SIZES;
BENCHMARK(BM_FirstScanAddsEverything) SCAN_SIZES;
BENCHMARK(BM_SecondScanFindsNothingChanged) SCAN_SIZES;
#undef SCAN_SIZES

}  // namespace

BENCHMARK_MAIN();
