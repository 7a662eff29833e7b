// How live events reach the disk: one commit per event with everything it wrote,
// bursts grouped under a bound on how long the lock is held, and a failed write that
// undoes its batch without leaving the connection, or the lookups, behind.

#include <sqlite3.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "database/load_point_database.h"
#include "ledger/live_batch.h"
#include "support/live_machine.h"

using Database::LoadPointDatabase;
using Intake::kProcessEnded;
using Intake::kProcessStarted;
using Ledger::LiveBatch;

namespace LiveTest {
namespace {

constexpr char16_t kRun[] = u"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// SQLite's file change counter (header offset 24): one per writing transaction.
uint32_t Commits(LiveMachine& live) {
  unsigned char header[28] = {};
  std::ifstream(live.DatabaseHostPath(), std::ios::binary).read(reinterpret_cast<char*>(header), sizeof header);
  return (header[24] << 24) | (header[25] << 16) | (header[26] << 8) | header[27];
}

void Exec(LiveMachine& live, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(live.DatabaseHostPath().c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

std::u16string Name(int i) { return u"Value" + std::u16string(1, u'A' + i % 26) + std::u16string(1, u'a' + i / 26); }

TEST(LiveBatch, SingleEventCommitsOnceWithItsProcessAndEvent) {
  LiveMachine live;
  const int64_t start = live.LastEventKey();
  for (const char16_t* command : {u"C:\\a.exe", u"C:\\b.exe"}) {
    const uint32_t before = Commits(live);
    live.SetSz(kRun, u"Agent", command);
    EXPECT_EQ(Commits(live) - before, 1u) << "one durable commit per live event";
  }
  live.DeleteValue(kRun, u"Agent");
  const SqlRows events = live.EventsAfter(start);
  ASSERT_EQ(events.size(), 3u);
  for (const auto& event : events) EXPECT_EQ(event.back(), "1") << "event without its process";
}

// The burst adds, deletes and adds again one name within the pass: the lookups see
// the pass's own uncommitted rows, and the end state equals what a rescan finds.
TEST(LiveBatch, BurstSharesCommitsKeepsEveryProcessAndAgreesWithARescan) {
  LiveMachine live;
  const int64_t start = live.LastEventKey();
  constexpr int kBurst = 60;
  live.Hold();
  for (int i = 0; i < kBurst; ++i) live.SetSz(kRun, Name(i), u"C:\\burst.exe");
  live.DeleteValue(kRun, Name(0));
  live.SetSz(kRun, Name(0), u"C:\\again.exe");
  const uint32_t before = Commits(live);
  live.Release();
  // Each batch holds the lock for at most a quarter second, so a slow machine may
  // need a few commits; one per event is what grouping must avoid.
  EXPECT_LT(Commits(live) - before, static_cast<uint32_t>(kBurst) / 4);
  const SqlRows events = live.EventsAfter(start);
  ASSERT_EQ(events.size(), static_cast<size_t>(kBurst + 2));
  for (const auto& event : events) EXPECT_EQ(event.back(), "1") << "event without its process";
  EXPECT_EQ(live.Sql("SELECT COMMAND_LINE FROM LoadPoints WHERE ENTRY_NAME = 'ValueAa'"),
            (SqlRows{{"C:\\again.exe"}}));
  const SqlRows rows = live.LoadPoints();
  live.Rescan();
  EXPECT_EQ(live.LoadPoints(), rows);
  EXPECT_EQ(live.LastEventKey(), start + kBurst + 2) << "the rescan found something to change";
}

// The image of a burst's process is read once per pass, and every event still has
// a process row of its own; a process id that another image takes over within the
// pass is that image's.
TEST(LiveBatch, BurstReadsItsProcessOnceButAReusedProcessIdIsReadAnew) {
  LiveMachine live;
  live.WriteFile(u"C:\\Setup\\one.exe", "first image");
  live.WriteFile(u"C:\\Setup\\two.exe", "the second image");
  const int64_t start = live.LastEventKey();
  live.Hold();
  live.Process(kProcessStarted, 5000, u"C:\\Setup\\one.exe");
  live.Set(kRun, u"FromOne", Platform::kRegSz, Sz(u"C:\\one.exe"), 5000);
  live.Set(kRun, u"FromOneAgain", Platform::kRegSz, Sz(u"C:\\one.exe"), 5000);
  live.Process(kProcessEnded, 5000, u"");
  live.Process(kProcessStarted, 5000, u"C:\\Setup\\two.exe");
  live.Set(kRun, u"FromTwo", Platform::kRegSz, Sz(u"C:\\two.exe"), 5000);
  live.Release();
  EXPECT_EQ(live.Sql("SELECT l.ENTRY_NAME, p.PROCESS_PATH, p.FILE_SIZE FROM ChangeEvents c "
                     "JOIN LoadPoints l ON l.KEY = c.LOAD_POINT_KEY JOIN Processes p ON p.KEY = c.PROCESS_ENTRY_KEY "
                     "WHERE c.KEY > " + std::to_string(start) + " ORDER BY c.KEY"),
            (SqlRows{{"FromOne", "c:\\setup\\one.exe", "11 bytes"},
                     {"FromOneAgain", "c:\\setup\\one.exe", "11 bytes"},
                     {"FromTwo", "c:\\setup\\two.exe", "16 bytes"}}));
  EXPECT_EQ(live.Sql("SELECT COUNT(DISTINCT PROCESS_ENTRY_KEY) FROM ChangeEvents WHERE KEY > " +
                     std::to_string(start)),
            (SqlRows{{"3"}}));
}

TEST(LiveBatch, CommitsEarlyOnceTheLockHasBeenHeldLongEnoughAndNeverCommitsAForeignTransaction) {
  LiveMachine live;
  LoadPointDatabase& database = *live.Engine().Database();
  const uint32_t start = Commits(live);
  {
    LiveBatch batch(live.Engine());
    EXPECT_FALSE(batch.EventDone()) << "a batch that wrote nothing holds no lock";
    database.AddChangeEventEntry(0, 0, 0);
    EXPECT_EQ(Commits(live), start) << "still open";
    std::this_thread::sleep_for(LiveBatch::kMaxLockTime + std::chrono::milliseconds(10));
    EXPECT_TRUE(batch.EventDone());
    EXPECT_EQ(Commits(live), start + 1);
    database.AddChangeEventEntry(0, 0, 0);
  }
  EXPECT_EQ(Commits(live), start + 2);
  ASSERT_TRUE(database.BeginTransaction());
  {
    LiveBatch batch(live.Engine());
    database.AddChangeEventEntry(0, 0, 0);
  }
  EXPECT_EQ(Commits(live), start + 2) << "the batch committed a transaction it did not open";
  EXPECT_TRUE(database.EndTransaction());
  EXPECT_EQ(live.Sql("SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE = 0"), (SqlRows{{"3"}}));
}

// A value whose insert the file refuses, in the middle of a pass: the pass's
// transaction is undone with it, the next event starts a transaction of its own, and
// the undone rows' keys, taken again by later rows, are not found under the names
// that had them.
TEST(LiveBatch, AFailedWriteUndoesItsBatchAndLeavesNothingBehind) {
  LiveMachine live;
  live.SetSz(kRun, u"Before", u"C:\\before.exe");
  Exec(live,
       "CREATE TRIGGER refuse BEFORE INSERT ON LoadPoints WHEN NEW.ENTRY_NAME = 'Refused' "
       "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  live.Hold();
  live.SetSz(kRun, u"Undone", u"C:\\undone.exe");
  live.SetSz(kRun, u"Refused", u"C:\\refused.exe");
  live.SetSz(kRun, u"After", u"C:\\after.exe");
  live.Release();
  EXPECT_EQ(live.Sql("SELECT ENTRY_NAME FROM LoadPoints WHERE ENTRY_NAME IN ('Before', 'Undone', "
                     "'Refused', 'After') ORDER BY KEY"),
            (SqlRows{{"Before"}, {"After"}}));
  live.SetSz(kRun, u"Undone", u"C:\\undone2.exe");
  EXPECT_EQ(live.Sql("SELECT ENTRY_NAME, COMMAND_LINE FROM LoadPoints WHERE ENTRY_NAME IN ('Undone', "
                     "'After') ORDER BY KEY"),
            (SqlRows{{"After", "C:\\after.exe"}, {"Undone", "C:\\undone2.exe"}}));
  // No event without its process, no process without an event, nothing left open.
  EXPECT_EQ(live.Sql("SELECT COUNT(*) FROM ChangeEvents c WHERE c.EVENT_TYPE = 13 AND NOT EXISTS "
                     "(SELECT 1 FROM Processes p WHERE p.KEY = c.PROCESS_ENTRY_KEY)"),
            (SqlRows{{"0"}}));
  EXPECT_EQ(live.Sql("SELECT COUNT(*) FROM Processes p WHERE NOT EXISTS "
                     "(SELECT 1 FROM ChangeEvents c WHERE c.PROCESS_ENTRY_KEY = p.KEY)"),
            (SqlRows{{"0"}}));
  EXPECT_TRUE(live.Engine().Database()->BeginTransaction()) << "the connection was left in a transaction";
  EXPECT_TRUE(live.Engine().Database()->EndTransaction());
}

}  // namespace
}  // namespace LiveTest
