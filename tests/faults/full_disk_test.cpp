// The database's folder runs out of space in the middle of a rescan and gets it
// back later. Each test runs twice: on a small tmpfs that the test mounts (it needs
// root, and is skipped without it) and under a file-size limit on the process,
// which needs no privilege.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "fault_image.h"
#include "platform/emulated/services/service_store.h"
#include "platform/text_encoding.h"
#include "service/logger_process.h"
#include "sim/machine_image.h"
#include "sim/scenario_player.h"
#include "support/live_machine.h"

using Service::kServiceName;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kValues = 300;
constexpr char16_t kDataFolder[] = u"C:\\ProgramData\\Kelvra Security\\Brumevale";

// The two ways the database's folder is made to run out of space.
enum class DiskKind { kSmallFileSystem, kFileSizeLimit };

std::string Name(DiskKind kind) { return kind == DiskKind::kSmallFileSystem ? "SmallFileSystem" : "FileSizeLimit"; }
void PrintTo(DiskKind kind, std::ostream* out) { *out << Name(kind); }

// The data folder of one machine image with room taken away and given back.
class Disk {
 public:
  virtual ~Disk() = default;
  // Before the machine boots; false, with the reason, when this way cannot run here.
  virtual bool Prepare(std::string* why) = 0;
  // From here on the database cannot grow.
  virtual void Fill() = 0;
  // Space is back.
  virtual void Free() = 0;
  // What SQLite says of a write that found no room, after the statement's name.
  virtual std::string Refusal() const = 0;
};

// A tmpfs over the data folder, with the Logs folder below it bound to a folder of
// its own so that the failures can be read while the disk is full. Needs root.
class SmallFileSystem : public Disk {
 public:
  explicit SmallFileSystem(const FaultImage& image)
      : folder_(Sim::ImageHostPath(image.Folder(), kDataFolder)), logs_(folder_ + "/Logs") {}
  ~SmallFileSystem() override {
    if (logsBound_) umount2(logs_.c_str(), MNT_DETACH);
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  bool Prepare(std::string* why) override {
    fs::create_directories(folder_);
    mounted_ = mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=8m") == 0;
    if (mounted_) {
      fs::create_directories(logs_);
      logsBound_ = mount(logsHost_.String().c_str(), logs_.c_str(), nullptr, MS_BIND, nullptr) == 0;
    }
    if (!logsBound_) *why = std::string("mounting a small tmpfs needs root (CAP_SYS_ADMIN): ") + strerror(errno);
    return logsBound_;
  }
  // Takes every byte that is left.
  void Fill() override {
    std::ofstream filler(folder_ + "/filler", std::ios::binary);
    const std::string chunk(4096, 'f');
    while (filler.write(chunk.data(), chunk.size()) && filler.flush()) {
    }
  }
  void Free() override { fs::remove(folder_ + "/filler"); }
  std::string Refusal() const override { return "database or disk is full"; }

 private:
  const std::string folder_, logs_;
  TemporaryFolder logsHost_;
  bool mounted_ = false, logsBound_ = false;
};

// A file-size limit on the whole process: the soft limit, which anyone may lower,
// is lowered and put back; the hard one is left alone. It holds for every file the
// process writes, the logs as much as the database, so it is set just above the
// size the database has when the disk fills: the database cannot take another page
// while the logs, smaller than that, still take lines. A write past the limit fails
// with EFBIG rather than ENOSPC, and SIGXFSZ, which would end the process, is
// ignored meanwhile. Output of the test process that goes to a regular file
// (stdout redirected) is under the limit too while it is lowered.
class FileSizeLimit : public Disk {
 public:
  explicit FileSizeLimit(std::string database) : database_(std::move(database)) {}
  ~FileSizeLimit() override { Free(); }
  bool Prepare(std::string*) override { return true; }
  void Fill() override {
    const uintmax_t size = fs::exists(database_) ? fs::file_size(database_) : 0;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved_), 0) << strerror(errno);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &savedSignal_), 0) << strerror(errno);
    ignoring_ = true;
    rlimit limit = saved_;
    limit.rlim_cur = std::min<rlim_t>(size + kRoom, saved_.rlim_max);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0) << strerror(errno);
    lowered_ = true;
  }
  void Free() override {
    if (lowered_) setrlimit(RLIMIT_FSIZE, &saved_);
    if (ignoring_) sigaction(SIGXFSZ, &savedSignal_, nullptr);
    lowered_ = ignoring_ = false;
  }
  // SQLite's unix layer takes only ENOSPC for a full disk. The write that crosses
  // the limit is cut short there, and its retry of the rest fails with EFBIG, which
  // SQLite reports as a failed write (SQLITE_IOERR_WRITE): this message, as runs
  // of these tests show, for the commit and for the tables alike.
  std::string Refusal() const override { return "disk I/O error"; }

 private:
  // A byte short of one page (4096 bytes, SQLite's own size, which the service
  // keeps): the database cannot take a page more, a log may take that much.
  static constexpr uintmax_t kRoom = 4095;
  const std::string database_;
  rlimit saved_{};
  struct sigaction savedSignal_ {};
  bool lowered_ = false, ignoring_ = false;
};

std::unique_ptr<Disk> MakeDisk(DiskKind kind, const FaultImage& image) {
  if (kind == DiskKind::kSmallFileSystem) return std::make_unique<SmallFileSystem>(image);
  return std::make_unique<FileSizeLimit>(image.DatabaseHostPath());
}

std::u16string Data(int i) {
  return u"C:\\Programs\\" + std::u16string(1000, u'd') + Platform::Utf8ToUtf16(std::to_string(i)) + u".exe";
}

std::string Adds() {
  std::ostringstream text;
  for (int i = 0; i < kValues; ++i)
    text << "2000 reg add \"" << FaultImage::kRunKey << "\" /v Full" << i << " /d \"" << Platform::Utf16ToUtf8(Data(i)) << "\" /f\n";
  return text.str();
}

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 600; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

// Settings checks recorded so far (each rescan ends with one); 0 while the file
// has no tables.
int64_t RescansRecorded(const std::string& path) {
  sqlite3* db = nullptr;
  int64_t count = 0;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE = 9", -1, &statement,
                           nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
      count = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return count;
}

// Every row of before is still there, unchanged.
void ExpectKept(const std::vector<StoredLoadPoint>& before, const FaultImage& image) {
  for (const StoredLoadPoint& row : before) {
    StoredLoadPoint now;
    ASSERT_TRUE(image.Find(row.type, row.entry, &now)) << Platform::Utf16ToUtf8(row.entry);
    EXPECT_EQ(now.commandLine, row.commandLine);
  }
}

class FullDisk : public testing::TestWithParam<DiskKind> {};

TEST_P(FullDisk, ServiceRunsOnKeepsCommittedRowsAndCatchesUpWhenSpaceReturns) {
  FaultImage image;
  const std::unique_ptr<Disk> disk = MakeDisk(GetParam(), image);
  std::string error;
  if (!disk->Prepare(&error)) GTEST_SKIP() << error;
  auto booted = Sim::BootedImage::Boot(image.Folder(), &error);
  ASSERT_NE(booted, nullptr) << error;
  Sim::ServiceSession session(*booted);
  ASSERT_TRUE(session.Install(&error) && session.Start(&error)) << error;
  // Whatever fails below, the service is stopped before its machine goes.
  std::unique_ptr<Sim::ServiceSession, void (*)(Sim::ServiceSession*)> stopper(
      &session, [](Sim::ServiceSession* running) {
        std::string ignored;
        running->Stop(&ignored);
      });
  const std::vector<StoredLoadPoint> before = image.LoadPoints();
  ASSERT_FALSE(before.empty());

  ASSERT_NO_FATAL_FAILURE(disk->Fill());
  std::ostringstream out;
  Sim::PlayScenario(booted->Machine(), FaultImage::Parse(Adds()), "full.scenario", session, out);
  EXPECT_EQ(out.str(), "");
  booted->Machine().Time().Advance(300s);
  // SQLite keeps the rescan's rows in memory until the commit, which is where the
  // full disk shows; whichever statement meets it is reported under its name.
  const std::string full = "): " + disk->Refusal() + "\r\n";
  ASSERT_TRUE(WaitFor([&] { return image.DatabaseLog().find(full) != std::string::npos; }))
      << "no failed statement was reported:\n" << image.DatabaseLog();
  ExpectKept(before, image);
  EXPECT_EQ(QueryFile(image.DatabaseHostPath(), "PRAGMA integrity_check"), (std::vector<std::vector<std::string>>{{"ok"}}));

  disk->Free();
  // The rescan that met the full disk may still be running; the one after it
  // started with space back.
  session.AdvanceClock(300);
  session.AdvanceClock(300);
  ExpectKept(before, image);
  StoredLoadPoint row;
  for (int i = 0; i < kValues; ++i) {
    ASSERT_TRUE(image.Find(1, u"Full" + Platform::Utf8ToUtf16(std::to_string(i)), &row)) << "missing Full" << i;
    EXPECT_EQ(row.commandLine, Data(i));
  }
  session.Settle();
  stopper.release();
  EXPECT_TRUE(session.Stop(&error)) << error;
  EXPECT_TRUE(booted->Save(&error)) << error;
  booted.reset();
  EXPECT_EQ(QueryFile(image.DatabaseHostPath(), "PRAGMA integrity_check"), (std::vector<std::vector<std::string>>{{"ok"}}));
}

// The service started on a full disk cannot even create its tables; once space is
// back, its next rescan builds them and records the machine.
TEST_P(FullDisk, AServiceStartedOnAFullDiskCatchesUpWhenSpaceReturns) {
  FaultImage image;
  const std::unique_ptr<Disk> disk = MakeDisk(GetParam(), image);
  std::string error;
  if (!disk->Prepare(&error)) GTEST_SKIP() << error;
  ASSERT_NO_FATAL_FAILURE(disk->Fill());
  auto booted = Sim::BootedImage::Boot(image.Folder(), &error);
  ASSERT_NE(booted, nullptr) << error;
  Sim::ServiceSession session(*booted);
  ASSERT_TRUE(session.Install(&error)) << error;
  std::unique_ptr<Sim::ServiceSession, void (*)(Sim::ServiceSession*)> stopper(
      &session, [](Sim::ServiceSession* running) {
        std::string ignored;
        running->Stop(&ignored);
      });
  // Started through the manager directly: the session would wait for a rescan
  // that cannot be recorded.
  Platform::ServiceManager& scm = booted->Machine().Process(4).Services();
  Platform::Handle manager = 0, service = 0;
  ASSERT_EQ(scm.OpenSCManager(Platform::kScManagerConnect, &manager), Platform::kErrorSuccess);
  ASSERT_EQ(scm.OpenService(manager, kServiceName, Platform::kServiceStart, &service), Platform::kErrorSuccess);
  EXPECT_EQ(scm.StartService(service, {}), Platform::kErrorSuccess);
  scm.CloseServiceHandle(service);
  scm.CloseServiceHandle(manager);
  // Under the file-size limit the log stops after its first few lines (there is no
  // database to measure, so the limit is a page less a byte); the failure read here
  // is the first it records.
  ASSERT_TRUE(WaitFor([&] {
    return image.DatabaseLog().find("ERROR(CreateTables) [LoadPoints]: " + disk->Refusal()) != std::string::npos;
  })) << image.DatabaseLog();
  EXPECT_TRUE(booted->Machine().Services().WaitForState(kServiceName, Platform::kServiceRunning, 1s));

  disk->Free();
  // The first check recorded may end the rescan that ran without tables; the one
  // after it began with space and tables there. On a loaded machine the service may
  // still be in the rescan it began on the full disk when the clock moves, and then
  // counts its next period from after the move: the clock moves on a period at a time
  // until a rescan shows.
  const auto rescansAfter = [&](int64_t count) {
    int polls = 0;
    return WaitFor([&] {
      if (polls++ % 10 == 0) booted->Machine().Time().Advance(300s);
      return RescansRecorded(image.DatabaseHostPath()) > count;
    });
  };
  ASSERT_TRUE(rescansAfter(0)) << image.DatabaseLog();
  ASSERT_TRUE(rescansAfter(RescansRecorded(image.DatabaseHostPath())));
  StoredLoadPoint row;
  EXPECT_TRUE(image.Find(1, u"Steady", &row));
  EXPECT_TRUE(image.Find(12, u"Steady", &row));
}

// A burst whose transaction meets the full disk is undone whole: none of the rows,
// events or processes of its transaction stay. The lookups by identity must then answer as the file
// does, also once later rows have taken the undone keys: the same names set again
// are additions, and the rows that took the keys keep their own commands.
TEST(FullDiskLive, ABurstUndoneByAFullDiskLeavesNothingBehindItInTheLookups) {
  constexpr char16_t kRun[] = u"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  constexpr int kBurst = 40;
  const auto name = [](const char16_t* stem, int i) { return stem + Platform::Utf8ToUtf16(std::to_string(i)); };
  // Long enough that the burst needs pages the limit refuses, short enough for the
  // driver's record of one value.
  const auto command = [](int i) { return u"C:\\Lost\\" + std::u16string(200, u'd') + Platform::Utf8ToUtf16(std::to_string(i)) + u".exe"; };
  LiveTest::LiveMachine live;
  live.SetSz(kRun, u"Before", u"C:\\before.exe");
  const int64_t start = live.LastEventKey();
  FileSizeLimit disk(live.DatabaseHostPath());
  live.Hold();
  for (int i = 0; i < kBurst; ++i) live.SetSz(kRun, name(u"Lost", i), command(i));
  ASSERT_NO_FATAL_FAILURE(disk.Fill());
  live.Release();
  disk.Free();
  // A slow machine may have committed the burst's first events before the lock's
  // time bound; those stay, each with its event. The rest was undone.
  const int kept = std::stoi(live.Sql("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME LIKE 'Lost%'").at(0).at(0));
  ASSERT_LT(kept, kBurst) << "the limit undid nothing";
  EXPECT_EQ(live.LastEventKey(), start + kept);
  EXPECT_EQ(live.Sql("SELECT COUNT(*) FROM Processes p WHERE NOT EXISTS "
                     "(SELECT 1 FROM ChangeEvents c WHERE c.PROCESS_ENTRY_KEY = p.KEY)"),
            (SqlRows{{"0"}}));

  for (int i = 0; i < kBurst; ++i) live.SetSz(kRun, name(u"Other", i), u"C:\\other.exe");
  for (int i = 0; i < kBurst; ++i) live.SetSz(kRun, name(u"Lost", i), command(i));
  for (int i = 0; i < kBurst; ++i) {
    const std::string lost = "Lost" + std::to_string(i), other = "Other" + std::to_string(i);
    EXPECT_EQ(live.Sql("SELECT ENTRY_NAME, COMMAND_LINE FROM LoadPoints WHERE ENTRY_NAME IN ('" + lost +
                       "', '" + other + "') ORDER BY ENTRY_NAME"),
              (SqlRows{{lost, Platform::Utf16ToUtf8(command(i))}, {other, "C:\\other.exe"}}));
  }
  EXPECT_EQ(live.Sql("SELECT EVENT_TYPE, PROCESS_ENTRY_KEY > 0, COUNT(*) FROM ChangeEvents WHERE KEY > " + std::to_string(start) +
                     " GROUP BY 1, 2"),
            (SqlRows{{"13", "1", std::to_string(2 * kBurst)}}));
  EXPECT_EQ(live.Sql("PRAGMA integrity_check"), (SqlRows{{"ok"}}));
}

INSTANTIATE_TEST_SUITE_P(, FullDisk, testing::Values(DiskKind::kSmallFileSystem, DiskKind::kFileSizeLimit),
                         [](const testing::TestParamInfo<DiskKind>& disk) { return Name(disk.param); });

}  // namespace
