// Another program (the stock sqlite3 shell) holds Brumevale.data under an exclusive
// transaction for ten seconds while a scenario runs: the service goes on taking the
// driver's records, waits for the file, says so in its log, and loses nothing.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "fault_image.h"
#include "platform/emulated/minifilter/minifilter.h"
#include "platform/text_encoding.h"

namespace {

using namespace std::chrono_literals;

constexpr int kValues = 20;

std::string Changes() {
  std::ostringstream text;
  for (int i = 0; i < kValues; ++i)
    text << "2000 reg add \"" << FaultImage::kRunKey << "\" /v Locked" << i << " /d \"C:\\l" << i << ".exe\" /f\n";
  text << "2000 file create \"" << Platform::Utf16ToUtf8(FaultImage::kStartupFolder) << "\\while locked.lnk\"\n";
  text << "wait 300\n";
  return text.str();
}

TEST(LockedDatabase, ServiceWaitsForTheShellAndLosesNothing) {
  if (std::system("sqlite3 -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "the sqlite3 shell is not installed";
  FaultImage image;
  FILE* shell = nullptr;
  std::thread release;
  std::atomic<size_t> queuedAtRelease{~size_t{0}};
  const std::string output = image.Run(FaultImage::Parse(Changes()), [&](Sim::BootedImage& booted, Sim::ServiceSession&) {
    shell = popen(("sqlite3 '" + image.DatabaseHostPath() + "' > /dev/null 2>&1").c_str(), "w");
    ASSERT_NE(shell, nullptr);
    std::fputs("BEGIN EXCLUSIVE;\nINSERT INTO Alert (ALERT_TYPE) VALUES (1);\n", shell);
    std::fflush(shell);
    for (int i = 0; i < 100 && !FileIsLocked(image.DatabaseHostPath()); ++i) std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(FileIsLocked(image.DatabaseHostPath())) << "the shell did not take the lock";
    release = std::thread([&, machine = &booted.Machine()] {
      std::this_thread::sleep_for(10s);
      // The scenario's records were made seconds ago; a poller that kept running
      // has taken every one of them off the driver's queue by now.
      queuedAtRelease = machine->Filter().QueuedRecords();
      std::fputs("COMMIT;\n.quit\n", shell);
      pclose(shell);
    });
  });
  if (release.joinable()) release.join();
  EXPECT_EQ(output, "");
  EXPECT_EQ(queuedAtRelease.load(), 0u) << "the driver's records piled up while the file was locked";
  StoredLoadPoint row;
  for (int i = 0; i < kValues; ++i) {
    const std::u16string name = u"Locked" + Platform::Utf8ToUtf16(std::to_string(i));
    ASSERT_TRUE(image.Find(1, name, &row)) << "lost: Locked" << i;
    EXPECT_EQ(row.commandLine, u"C:\\l" + Platform::Utf8ToUtf16(std::to_string(i)) + u".exe");
  }
  EXPECT_TRUE(image.Find(28, u"while locked.lnk", &row));
  EXPECT_EQ(QueryFile(image.DatabaseHostPath(), "SELECT COUNT(*) FROM Alert"), (std::vector<std::vector<std::string>>{{"1"}}));
  const std::string log = image.DatabaseLog();
  EXPECT_GE(Occurrences(log, "-Database file locked by another program; waiting for it to be released."), 1u) << log;
  EXPECT_EQ(Occurrences(log, "ERROR"), 0u) << log;
}

}  // namespace
