// Recording who made a change: AddProcessFile for a signed 4 MB program, an
// unsigned program with version strings and a process whose image is gone, against
// the floor any signature check pays: reading the same 4 MB file once and hashing
// it with SHA-256. Each line ends with its ratio to that floor, measured in the
// same run.
//
// The programs are real: win32-loader.exe from Debian (scripts/fetch_test_pe.sh),
// padded to 4 MB and signed at set-up by a throw-away authority that the machine's
// ROOT store trusts (scripts/make_test_signer.sh, osslsigncode).

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "database/load_point_database.h"
#include "engine/load_point_engine.h"
#include "intake/process_monitor.h"
#include "intake/system_log_entry.h"
#include "ledger/process_file.h"
#include "platform/emulated/machine/machine.h"
#include "platform/scoped_handle.h"
#include "util/brumevale_settings.h"
#include "util/drive_map.h"
#include "util/vyr_log.h"

using Engine::EngineHandlers;
using Engine::LoadPointEngine;
using Intake::ProcessEntry;
using Intake::kProcessStarted;
using Ledger::AddProcessFile;

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kSignedPid = 7000, kUnsignedPid = 7001, kMissingPid = 7002;
constexpr uintmax_t kSignedSize = 4u << 20;
const fs::path kWork = fs::path(BRUMEVALE_BINARY_DIR) / "bench-process-file";

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::error_code ec;
  std::vector<uint8_t> bytes(fs::file_size(path, ec));
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

// The programs on the machine's drive C; false when they could not be made.
bool PreparePrograms(const fs::path& drive) {
  const std::string scripts = std::string(BRUMEVALE_SOURCE_DIR) + "/scripts/";
  const fs::path loader = kWork / "test-pe/root/usr/share/win32/win32-loader.exe";
  if (std::system((scripts + "fetch_test_pe.sh '" + (kWork / "test-pe").string() + "'").c_str()) != 0 ||
      !fs::exists(loader) ||
      std::system((scripts + "make_test_signer.sh '" + (kWork / "ca").string() + "' >/dev/null").c_str()) != 0)
    return false;
  fs::create_directories(drive / "Tools");
  fs::copy_file(loader, drive / "Tools/plain.exe", fs::copy_options::overwrite_existing);
  fs::copy_file(loader, kWork / "padded.exe", fs::copy_options::overwrite_existing);
  fs::resize_file(kWork / "padded.exe", kSignedSize);  // zero overlay after the program
  fs::remove(drive / "Tools/signed.exe");
  const std::string sign = "osslsigncode sign -h sha256 -certs '" + (kWork / "ca/chain.pem").string() + "' -key '" +
                           (kWork / "ca/signer.key").string() + "' -in '" + (kWork / "padded.exe").string() +
                           "' -out '" + (drive / "Tools/signed.exe").string() + "' >/dev/null";
  return std::system(sign.c_str()) == 0;
}

struct Fixture {
  Fixture()
      : machine(Config()), system(machine.Process(1200)), log(system), drives(system), settings(system),
        engine(system, log, drives) {
    ready = PreparePrograms(kWork / "C");
    settings.InitialiseProduct();
    TrustRoot();
    EngineHandlers& handlers = engine.Handlers();
    handlers.fullLoadPointScan = [](LoadPointEngine&, int32_t) { return 1; };
    handlers.checkSystemSettings = [](LoadPointEngine&) { return 1; };
    handlers.checkFileExtensions = [](LoadPointEngine&) { return 1; };
    engine.Initialise(nullptr, &settings);
    Start(kSignedPid, u"C:\\Tools\\signed.exe");
    Start(kUnsignedPid, u"C:\\Tools\\plain.exe");
    Start(kMissingPid, u"C:\\Tools\\gone.exe");
  }
  static Emulated::MachineConfig Config() {
    fs::create_directories(kWork / "C");
    Emulated::MachineConfig config;
    config.drives.push_back({u'C', (kWork / "C").string(), 2});
    return config;
  }
  // The authority's root in HKLM's ROOT store, as a real machine keeps it.
  void TrustRoot() {
    const std::vector<uint8_t> thumbprint = ReadAll(kWork / "ca/root.thumbprint");
    Platform::ScopedKey key;
    system.Registry().CreateKey(Platform::kHkeyLocalMachine,
                                u"SOFTWARE\\Microsoft\\SystemCertificates\\ROOT\\Certificates\\" +
                                    std::u16string(thumbprint.begin(), thumbprint.end()),
                                0, Platform::kKeyAllAccess, key.Receive(system.Registry()), nullptr);
    system.Registry().SetValue(key.Get(), u"Blob", Platform::kRegBinary, ReadAll(kWork / "ca/root.blob"));
  }
  void Start(uint64_t pid, const std::u16string& image) {
    engine.Processes().OnProcessEntry(ProcessEntry(system, 4, pid, kProcessStarted, image, u"BENCH\\alice"));
  }

  Emulated::Machine machine;
  Platform::System& system;
  VyrUtilities::VyrLog log;
  VyrUtilities::DriveMap drives;
  VyrUtilities::BrumevaleSettings settings;
  LoadPointEngine engine;
  bool ready = false;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_ReadAndHashBaseline(benchmark::State& state) {
  if (!Shared().ready) return state.SkipWithError("the test programs could not be fetched or signed");
  const fs::path file = kWork / "C/Tools/signed.exe";
  for (auto _ : state) {
    const std::vector<uint8_t> bytes = ReadAll(file);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    benchmark::DoNotOptimize(digest);
  }
}

void AddProcessFileOf(benchmark::State& state, uint64_t pid) {
  if (!Shared().ready) return state.SkipWithError("the test programs could not be fetched or signed");
  for (auto _ : state) benchmark::DoNotOptimize(AddProcessFile(Shared().engine, pid));
}

// The Processes insert alone: the part of every case that is the database's.
void BM_ProcessRowInsertOnly(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Shared().engine.Database()->AddProcessEntry({}, 0, false));
}

void BM_AddProcessFile_Signed4MB(benchmark::State& state) { AddProcessFileOf(state, kSignedPid); }
void BM_AddProcessFile_UnsignedWithVersion(benchmark::State& state) { AddProcessFileOf(state, kUnsignedPid); }
void BM_AddProcessFile_MissingFile(benchmark::State& state) { AddProcessFileOf(state, kMissingPid); }

BENCHMARK(BM_ReadAndHashBaseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddProcessFile_Signed4MB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddProcessFile_UnsignedWithVersion)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddProcessFile_MissingFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessRowInsertOnly)->Unit(benchmark::kMicrosecond);

// The console table, then each case's time as a multiple of the baseline's: wall
// time (what a change waits for, database writes included) and CPU time (what the
// service spends; on a busy machine the steadier of the two).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (!run.error_occurred) times_[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto baseline = times_.find("BM_ReadAndHashBaseline");
    if (baseline == times_.end() || baseline->second.first <= 0 || baseline->second.second <= 0) return;
    const auto [wall, cpu] = baseline->second;
    std::printf("\nRatio to reading and hashing the 4 MB file once (%.0f us wall, %.0f us CPU):\n", wall, cpu);
    for (const auto& [name, time] : times_)
      std::printf("  %-40s %6.2fx wall %6.2fx CPU\n", name.c_str(), time.first / wall, time.second / cpu);
  }

 private:
  std::map<std::string, std::pair<double, double>> times_;  // wall, CPU
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
