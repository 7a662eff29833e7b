// Live changes per second through the whole chain (a process writes, the emulated
// minifilter reports, the service polls and dispatches, the handler writes its rows
// and change event): a burst of 1,000 startup-folder file creations and a burst of
// 1,000 task registrations (task file, then its task-cache "Path"). Each is measured
// beside its baseline in the same run: the same number of one-row commits into a
// database file on the same emulated disk, the least a live change must pay.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "database/load_point_database.h"
#include "platform/scoped_handle.h"
#include "platform/text_encoding.h"
#include "sim/machine_image.h"
#include "sim/service_session.h"
#include "util/brumevale_settings.h"

using Database::LoadPointDatabase;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kBurst = 1000;
constexpr uint32_t kWriter = 3000;
constexpr char16_t kStartup[] =
    u"C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
constexpr char16_t kTaskCache[] =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\{BENCH-";

void WriteHostFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::u16string Num(int i) { return Platform::Utf8ToUtf16(std::to_string(i)); }

// A Windows 10 machine with one logged-on user and a writer process, the logger
// service installed and running.
class LiveMachine {
 public:
  LiveMachine() {
    std::string pattern = (fs::temp_directory_path() / "live-bench-XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    WriteHostFile(folder_ / "machine.json", R"({
      "windows": {"major": 10, "minor": 0, "build": 19045, "productType": 1},
      "users": [{"sid": "S-1-5-21-9-9-9-1001", "account": "BENCH\\ann", "profile": "C:\\Users\\ann", "loggedOn": true}],
      "processes": [{"pid": 3000, "image": "C:\\Tools\\setup.exe", "owner": "S-1-5-21-9-9-9-1001"}]})");
    const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
    WriteHostFile(folder_ / "drives/C/Windows/System32/config/SYSTEM.reg",
                  header + "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000001\r\n");
    WriteHostFile(folder_ / "drives/C/Windows/System32/config/SOFTWARE.reg",
                  header + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft]\r\n");
    fs::create_directories(folder_ / "drives/C/Users/ann/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup");
    fs::create_directories(folder_ / "drives/C/Windows/System32/Tasks/Bench");
    std::string error;
    image_ = Sim::BootedImage::Boot(folder_.string(), &error);
    session_ = std::make_unique<Sim::ServiceSession>(*image_);
    ok_ = image_ != nullptr && session_->Install(&error) && session_->Start(&error);
    if (!ok_) fprintf(stderr, "live machine: %s\n", error.c_str());
  }
  ~LiveMachine() {
    std::string error;
    if (ok_) session_->Stop(&error);
    session_.reset();
    image_.reset();
    fs::remove_all(folder_);
  }

  bool Ok() const { return ok_; }
  Platform::System& Writer() { return image_->Machine().Process(kWriter); }

  // Seconds from the first change until `count` events of eventType are recorded.
  double TimeBurst(int eventType, int count, const std::function<void()>& changes) {
    const int before = CountEvents(eventType);
    const Clock::time_point start = Clock::now();
    changes();
    while (CountEvents(eventType) < before + count) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

  // Seconds for `count` load-point rows committed one at a time into a database file
  // of its own on the same disk.
  double TimeOneRowCommits(int count, const std::u16string& name) {
    VyrUtilities::BrumevaleSettings settings(Writer());
    settings.InitialiseProduct();
    LoadPointDatabase db(Writer(), settings, u"");
    db.OpenDatabase(settings.DataDirectory() + u"\\" + name, false);
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < count; ++i) {
      db.AddLoadPointEntry(28, u"ann", u"entry" + Num(i) + u".lnk", u"C:\\x\\entry.lnk", u"");
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

 private:
  int CountEvents(int eventType) {
    sqlite3* db = nullptr;
    int count = 0;
    if (sqlite3_open_v2(Sim::ImageHostPath(folder_.string(), Sim::kDatabasePath).c_str(), &db,
                        SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_busy_timeout(db, 1000);
      const std::string sql = "SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE = " + std::to_string(eventType);
      sqlite3_exec(db, sql.c_str(), [](void* out, int, char** values, char**) {
        *static_cast<int*>(out) = values[0] ? atoi(values[0]) : 0;
        return 0;
      }, &count, nullptr);
    }
    sqlite3_close(db);
    return count;
  }

  fs::path folder_;
  std::unique_ptr<Sim::BootedImage> image_;
  std::unique_ptr<Sim::ServiceSession> session_;
  bool ok_ = false;
};

void WriteFile(Platform::System& system, const std::u16string& path, const std::string& text) {
  Platform::FileSystem& files = system.Files();
  Platform::ScopedFile file;
  files.CreateFile(path, Platform::kGenericWrite, 0, Platform::kCreateAlways,
                   Platform::kFileAttributeNormal, file.Receive(files));
  uint32_t written = 0;
  files.WriteFile(file.Get(), std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                  &written);
}

void Report(benchmark::State& state, double live, double baseline) {
  state.SetIterationTime(live);
  state.counters["events_per_s"] = kBurst / live;
  state.counters["one_row_commits_per_s"] = kBurst / baseline;
  state.counters["ratio"] = baseline / live;
}

void BM_StartupFileCreations(benchmark::State& state) {
  LiveMachine machine;
  if (!machine.Ok()) return state.SkipWithError("the service did not start");
  int round = 0;
  for (auto _ : state) {
    const std::u16string prefix = std::u16string(kStartup) + u"\\r" + Num(round++) + u"-";
    const double live = machine.TimeBurst(13, kBurst, [&] {
      for (int i = 0; i < kBurst; ++i) {
        Platform::ScopedFile file;
        Platform::FileSystem& files = machine.Writer().Files();
        files.CreateFile(prefix + Num(i) + u".lnk", Platform::kGenericWrite, 0, Platform::kCreateNew,
                         Platform::kFileAttributeNormal, file.Receive(files));
      }
    });
    Report(state, live, machine.TimeOneRowCommits(kBurst, u"baseline" + Num(round) + u".data"));
  }
}

void BM_TaskRegistrations(benchmark::State& state) {
  LiveMachine machine;
  if (!machine.Ok()) return state.SkipWithError("the service did not start");
  int round = 0;
  for (auto _ : state) {
    const std::u16string prefix = u"\\Bench\\r" + Num(round++) + u"-";
    const double live = machine.TimeBurst(13, kBurst, [&] {
      for (int i = 0; i < kBurst; ++i) {
        const std::u16string path = prefix + Num(i);
        WriteFile(machine.Writer(), u"C:\\Windows\\System32\\Tasks" + path,
                  "<Task><Settings><Enabled>true</Enabled></Settings><Actions><Exec>"
                  "<Command>C:\\px\\upd.exe</Command><Arguments>/n " + std::to_string(i) +
                  "</Arguments></Exec></Actions></Task>");
        Platform::Registry& registry = machine.Writer().Registry();
        Platform::ScopedKey key;
        registry.CreateKey(Platform::kHkeyLocalMachine, kTaskCache + Num(round) + u"-" + Num(i) + u"}",
                           0, Platform::kKeyAllAccess, key.Receive(registry), nullptr);
        std::vector<uint8_t> data;
        for (char16_t c : path) data.insert(data.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
        data.insert(data.end(), {0, 0});
        registry.SetValue(key.Get(), u"Path", Platform::kRegSz, data);
      }
    });
    Report(state, live, machine.TimeOneRowCommits(kBurst, u"baseline-task" + Num(round) + u".data"));
  }
}

}  // namespace

BENCHMARK(BM_StartupFileCreations)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TaskRegistrations)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
