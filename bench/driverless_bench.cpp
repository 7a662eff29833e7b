// The service without its driver against the service with it, each on a fresh copy
// of the same machine image, in one run:
//  - latency: a program sets a Run value, the clock runs until the change is in a
//    committed row of the database; 1,000 such changes (ten values, each set again
//    and again), a random pause of 5 to 25 ms after each commit so that the changes
//    do not fall into step with the service's own waits; median and 99th percentile;
//  - burst: 10,000 new Run values set as fast as the program can, from the first
//    set until the row of the last is committed;
//  - idle: the process's CPU time over a stretch of wall time in which nothing
//    changes, and the resident memory the service added to the booted image, on the
//    image as it is and grown to many load points, with the number of registry
//    notifications armed (the service with the driver arms only its helper-object
//    watchers').
//
// Each configuration runs in a child process of its own, so that CPU time and
// memory are the service's alone and no heap is shared between runs. A commit is
// seen from outside: the database file's change counter (header offset 24, bumped
// once per writing transaction) is read every millisecond without a lock, and only
// when it moves is the row looked for with a read-only connection.
//
//   driverless_bench [--changes=1000] [--burst=10000] [--seconds=30]
//                    [--load-points=50000] [--image=DIR]

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_image.h"
#include "platform/emulated/files/file_store.h"
#include "platform/emulated/processes/process_list.h"
#include "platform/emulated/registry/registry_store.h"
#include "platform/text_encoding.h"
#include "sim/machine_image.h"
#include "sim/service_session.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The demo image's explorer.exe: the program that makes every change.
constexpr uint32_t kActor = 4120;
constexpr char16_t kRunPath[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr auto kChangeTimeout = 10s;
constexpr auto kBurstTimeout = 600s;

struct Options {
  int changes = 1000;
  int burst = 10000;
  int seconds = 30;
  int loadPoints = 50000;
  std::string image = std::string(BRUMEVALE_SOURCE_DIR) + "/examples/demo-machine";
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&arg](const char* name) { return OptionValue(arg, name); };
    if (const char* v = value("--changes=")) options.changes = std::atoi(v);
    if (const char* v = value("--burst=")) options.burst = std::atoi(v);
    if (const char* v = value("--seconds=")) options.seconds = std::atoi(v);
    if (const char* v = value("--load-points=")) options.loadPoints = std::atoi(v);
    if (const char* v = value("--image=")) options.image = v;
  }
  return options;
}

// What a child reports to the parent through a pipe.
struct Figures {
  double idleCpuPercent = 0;
  double serviceMb = 0;
  double startSeconds = 0;
  double medianMs = 0;
  double p99Ms = 0;
  double maxMs = 0;
  int missed = 0;
  int over100Ms = 0;
  double burstSeconds = 0;
  int burstRows = 0;
  double armed = 0;
  int64_t loadPointRows = 0;
  bool ok = false;
};

// The service's database seen from outside, as another program would see it.
class Record {
 public:
  explicit Record(std::string path) : path_(std::move(path)) {}

  uint32_t Counter() const {
    unsigned char header[28] = {};
    std::ifstream(path_, std::ios::binary).read(reinterpret_cast<char*>(header), sizeof header);
    return (header[24] << 24) | (header[25] << 16) | (header[26] << 8) | header[27];
  }
  int64_t Count(const std::string& sql) const {
    sqlite3* db = nullptr;
    int64_t count = -1;
    if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_busy_timeout(db, 2000);
      sqlite3_stmt* statement = nullptr;
      if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
          sqlite3_step(statement) == SQLITE_ROW)
        count = sqlite3_column_int64(statement, 0);
      sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return count;
  }
  // Polls until sql counts at least want; the time it was first seen, or nothing.
  std::optional<Clock::time_point> WaitFor(const std::string& sql, int64_t want, Clock::duration timeout,
                                           std::chrono::microseconds poll) const {
    const auto deadline = Clock::now() + timeout;
    uint32_t seen = Counter() - 1;  // look once at the start whatever the counter says
    while (Clock::now() < deadline) {
      const uint32_t now = Counter();
      if (now != seen) {
        seen = now;
        if (Count(sql) >= want) return Clock::now();
      }
      std::this_thread::sleep_for(poll);
    }
    return std::nullopt;
  }

 private:
  std::string path_;
};

void SetRunValue(Platform::Registry& registry, const std::string& name, const std::string& data) {
  SetBenchString(registry, Platform::kHkeyLocalMachine, kRunPath, Platform::Utf8ToUtf16(name),
                 Platform::Utf8ToUtf16(data));
}

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Latency(Platform::Registry& registry, const Record& record, int changes, Figures* figures) {
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> pause(5, 25);
  std::vector<double> times;
  for (int i = 0; i < changes; ++i) {
    const std::string name = "BenchValue" + std::to_string(i % 10);
    const std::string data = "C:\\Program Files\\Bench\\tool" + std::to_string(i) + ".exe";
    const std::string sql = "SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = '" + name +
                            "' AND COMMAND_LINE LIKE '%\\tool" + std::to_string(i) + ".exe%'";
    const auto start = Clock::now();
    SetRunValue(registry, name, data);
    const auto seen = record.WaitFor(sql, 1, kChangeTimeout, 1ms);
    if (seen) {
      times.push_back(Milliseconds(*seen - start));
      if (times.back() > 100) ++figures->over100Ms;
    } else {
      ++figures->missed;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
  }
  if (times.empty()) return;
  std::sort(times.begin(), times.end());
  figures->medianMs = times[times.size() / 2];
  figures->p99Ms = times[std::min(times.size() - 1, times.size() * 99 / 100)];
  figures->maxMs = times.back();
}

void Burst(Platform::Registry& registry, const Record& record, int count, Figures* figures) {
  const auto start = Clock::now();
  for (int v = 0; v < count; ++v) {
    SetRunValue(registry, "BurstValue" + std::to_string(v), "C:\\Program Files\\Burst\\b" + std::to_string(v) + ".exe");
  }
  const std::string sql = "SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME LIKE 'BurstValue%'";
  const auto seen = record.WaitFor(sql, count, kBurstTimeout, 10ms);
  figures->burstRows = static_cast<int>(record.Count(sql));
  if (seen) figures->burstSeconds = std::chrono::duration<double>(*seen - start).count();
}

// One configuration, in the child: boot, start, idle, then (on the image as it is)
// the latency and the burst.
Figures RunService(const Options& options, bool driver, int loadPoints) {
  Figures figures;
  const std::string folder = CopyImage(options.image, "driverless-bench");
  std::string error;
  auto image = Sim::BootedImage::Boot(folder, &error, !driver);
  if (!image) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return figures;
  }
  Emulated::Machine& machine = image->Machine();
  if (loadPoints > 0) AddLoadPoints(machine.Process(Emulated::ProcessList::kSystemProcessId).Registry(), loadPoints);
  const double rssBooted = CurrentRssMb();
  Sim::ServiceSession session(*image);
  const auto startBegin = Clock::now();
  if (!session.Install(&error) || !session.Start(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return figures;
  }
  session.Settle();
  figures.startSeconds = std::chrono::duration<double>(Clock::now() - startBegin).count();
  figures.armed = static_cast<double>(machine.RegistryState().PendingNotifications());
  const Record record(*machine.FileState().HostPath(Sim::kDatabasePath));
  figures.loadPointRows = record.Count("SELECT COUNT(*) FROM LoadPoints");

  const double cpuBefore = CpuSeconds();
  const auto wallBefore = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(options.seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
  figures.idleCpuPercent = 100.0 * (CpuSeconds() - cpuBefore) / wall;
  figures.serviceMb = CurrentRssMb() - rssBooted;

  if (loadPoints == 0) {
    Platform::Registry& registry = machine.Process(kActor).Registry();
    Latency(registry, record, options.changes, &figures);
    Burst(registry, record, options.burst, &figures);
  }
  figures.ok = session.Stop(&error);
  image.reset();
  std::filesystem::remove_all(folder);
  return figures;
}

// Forks a child for one configuration; its figures, or ok false.
Figures InChild(const Options& options, bool driver, int loadPoints) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    const Figures figures = RunService(options, driver, loadPoints);
    const ssize_t written = write(fds[1], &figures, sizeof figures);
    _exit(written == sizeof figures ? 0 : 1);
  }
  close(fds[1]);
  Figures figures;
  if (read(fds[0], &figures, sizeof figures) != sizeof figures) figures.ok = false;
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return figures;
}

double Ratio(double value, double baseline) { return baseline > 0 ? value / baseline : 0; }

void PrintIdle(const char* label, const Figures& with, const Figures& without) {
  std::printf("%s: start until settled %.2f s without the driver, %.2f s with it (load point rows %lld, %lld)\n",
              label, without.startSeconds, with.startSeconds, static_cast<long long>(without.loadPointRows),
              static_cast<long long>(with.loadPointRows));
  std::printf("%s: idle CPU %.3f%% of one core without the driver, %.3f%% with it: %.2fx (target <= 1.5x)\n",
              label, without.idleCpuPercent, with.idleCpuPercent, Ratio(without.idleCpuPercent, with.idleCpuPercent));
  std::printf("%s: memory the service added %.1f MB without the driver, %.1f MB with it: %.2fx\n", label,
              without.serviceMb, with.serviceMb, Ratio(without.serviceMb, with.serviceMb));
  std::printf("%s: registry notifications armed %.0f without the driver, %.0f with it\n", label, without.armed,
              with.armed);
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  std::printf("driverless_bench: %d changes, a burst of %d, %d s idle, %d load points; "
              "each configuration in a child process of its own\n",
              options.changes, options.burst, options.seconds, options.loadPoints);
  const Figures with = InChild(options, true, 0);
  const Figures without = InChild(options, false, 0);
  if (!with.ok || !without.ok) {
    std::fprintf(stderr, "a run on the image as it is failed\n");
    return 1;
  }
  std::printf("change to commit, median: %.1f ms without the driver, %.1f ms with it: %.2fx (target < 100 ms)\n",
              without.medianMs, with.medianMs, Ratio(without.medianMs, with.medianMs));
  std::printf("change to commit, 99th percentile: %.1f ms without the driver, %.1f ms with it: %.2fx "
              "(target < 1000 ms)\n", without.p99Ms, with.p99Ms, Ratio(without.p99Ms, with.p99Ms));
  std::printf("change to commit, slowest: %.1f ms without the driver, %.1f ms with it; over 100 ms: %d without, "
              "%d with; not seen within %lld s: %d without, %d with\n", without.maxMs, with.maxMs, without.over100Ms,
              with.over100Ms,
              static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(kChangeTimeout).count()),
              without.missed, with.missed);
  std::printf("burst of %d values, first set to last commit: %.2f s without the driver (%d rows), %.2f s with it "
              "(%d rows): %.2fx (target <= 1.0x)\n", options.burst, without.burstSeconds, without.burstRows,
              with.burstSeconds, with.burstRows, Ratio(without.burstSeconds, with.burstSeconds));
  PrintIdle("demo image", with, without);
  if (options.loadPoints > 0) {
    const Figures largeWith = InChild(options, true, options.loadPoints);
    const Figures largeWithout = InChild(options, false, options.loadPoints);
    if (!largeWith.ok || !largeWithout.ok) {
      std::fprintf(stderr, "a run with %d load points failed\n", options.loadPoints);
      return 1;
    }
    PrintIdle((std::to_string(options.loadPoints) + " load points").c_str(), largeWith, largeWithout);
  }
  return 0;
}
