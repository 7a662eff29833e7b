#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "database_fixture.h"

namespace Database {

namespace {

using namespace std::chrono_literals;

// Another program holds the file locked: the service's writes wait (they must not
// fail and must not be lost) and complete once the lock is released.
class LockingTest : public DatabaseTest {
 protected:
  static constexpr int kWrites = 5;

  void SetUp() override { db_ = OpenNew(); }

  // Writes kWrites load points in one exclusive transaction on a thread of its own.
  void StartWriter() {
    writer_ = std::thread([this] {
      db_->BeginTransaction();
      for (int i = 0; i < kWrites; ++i) {
        keys_[i] = db_->AddLoadPointEntry(1, u"", u"Entry" + FromAnsi(FormatInt(i)), u"x.exe", u"");
      }
      committed_ = db_->EndTransaction();
      done_ = true;
    });
  }
  void ExpectWriterWaitsThenCompletes(const std::function<void()>& release) {
    std::this_thread::sleep_for(1200ms);
    EXPECT_FALSE(done_) << "the write did not wait for the lock";
    release();
    writer_.join();
    EXPECT_TRUE(committed_);
    for (int32_t key : keys_) EXPECT_GT(key, 0);
  }
  // True while some other connection holds a lock that keeps writers out.
  bool FileIsLocked() {
    sqlite3* probe = nullptr;
    sqlite3_open(HostPath(DataPath()).c_str(), &probe);
    const bool locked = sqlite3_exec(probe, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_BUSY;
    if (!locked) sqlite3_exec(probe, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(probe);
    return locked;
  }

  std::unique_ptr<LoadPointDatabase> db_;
  std::thread writer_;
  std::atomic<bool> done_{false};
  bool committed_ = false;
  int32_t keys_[kWrites] = {};
};

TEST_F(LockingTest, WriteWaitsForAnotherConnectionOnAnotherThread) {
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(HostPath(DataPath()).c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE; INSERT INTO Alert (ALERT_TYPE) VALUES (1)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  StartWriter();
  ExpectWriterWaitsThenCompletes([&] {
    EXPECT_EQ(sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(holder);
  });
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM LoadPoints"), (SqlRows{{std::to_string(kWrites)}}));
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Alert"), (SqlRows{{"1"}}));
}

// Most locks last a moment (a reader taking a page of the history): a write that
// meets one goes on within moments of its release, not after a fixed half second.
TEST_F(LockingTest, AMomentaryReadHoldsAWriteBackOnlyForThatMoment) {
  sqlite3* reader = nullptr;
  ASSERT_EQ(sqlite3_open(HostPath(DataPath()).c_str(), &reader), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT COUNT(*) FROM LoadPoints", nullptr, nullptr, nullptr), SQLITE_OK);
  const auto start = std::chrono::steady_clock::now();
  StartWriter();
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(done_) << "the write did not wait for the reader";
  EXPECT_EQ(sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(reader);
  writer_.join();
  EXPECT_TRUE(committed_);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
}

TEST_F(LockingTest, WriteWaitsForTheStockShellInAnotherProcess) {
  if (std::system("sqlite3 -version > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "the sqlite3 shell is not installed";
  }
  const std::string command = "sqlite3 '" + HostPath(DataPath()) + "' > /dev/null 2>&1";
  FILE* shell = popen(command.c_str(), "w");
  ASSERT_NE(shell, nullptr);
  std::fputs("BEGIN EXCLUSIVE;\nINSERT INTO LoadPoints (LP_TYPE, ENTRY_NAME) VALUES (1, 'shell');\n",
             shell);
  std::fflush(shell);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!FileIsLocked() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(FileIsLocked()) << "the shell never took its lock";
  StartWriter();
  ExpectWriterWaitsThenCompletes([&] {
    std::fputs("COMMIT;\n.quit\n", shell);
    EXPECT_EQ(pclose(shell), 0);
  });
  EXPECT_EQ(Sql("SELECT COUNT(*), SUM(ENTRY_NAME = 'shell') FROM LoadPoints"),
            (SqlRows{{std::to_string(kWrites + 1), "1"}}));
}

}  // namespace

}  // namespace Database
