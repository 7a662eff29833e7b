// A burst larger than the driver's bounded queue: the records that did not fit are
// gone for good (the wire layout has no loss count), and the next rescan makes the
// database true again.

#include <gtest/gtest.h>

#include <sstream>

#include "fault_image.h"
#include "platform/emulated/minifilter/minifilter.h"
#include "platform/text_encoding.h"

namespace {

constexpr int kAdded = 300;
constexpr int kDeleted = 100;  // of the added ones, in the same burst

std::u16string Name(int i) { return u"Burst" + Platform::Utf8ToUtf16(std::to_string(i)); }

std::string Burst() {
  std::ostringstream text;
  const std::string run = std::string("\"") + FaultImage::kRunKey + "\"";
  for (int i = 0; i < kAdded; ++i) text << "2000 reg add " << run << " /v Burst" << i << " /d \"C:\\b" << i << ".exe\" /f\n";
  for (int i = 0; i < kDeleted; ++i) text << "2000 reg delete " << run << " /v Burst" << i << " /f\n";
  text << "2000 reg delete " << run << " /v Steady /f\n";
  text << "wait 300\n";
  return text.str();
}

TEST(QueueOverflow, TheNextRescanMakesTheDatabaseTrueAgain) {
  FaultImage image;
  uint64_t dropped = 0;
  const std::string output = image.Run(
      FaultImage::Parse(Burst()),
      [](Sim::BootedImage& booted, Sim::ServiceSession&) { booted.Machine().Filter().SetQueueLimit(2048); },
      [&](Sim::BootedImage& booted, Sim::ServiceSession&) { dropped = booted.Machine().Filter().DroppedRecords(); });
  EXPECT_EQ(output, "");
  ASSERT_GT(dropped, 0u) << "the burst did not overflow the queue; the test proves nothing";
  StoredLoadPoint row;
  for (int i = 0; i < kDeleted; ++i) EXPECT_FALSE(image.Find(1, Name(i), &row)) << "kept: Burst" << i;
  for (int i = kDeleted; i < kAdded; ++i) {
    ASSERT_TRUE(image.Find(1, Name(i), &row)) << "missing: Burst" << i;
    EXPECT_EQ(row.commandLine, u"C:\\b" + Platform::Utf8ToUtf16(std::to_string(i)) + u".exe");
  }
  EXPECT_FALSE(image.Find(1, u"Steady", &row));
  // Every row the database holds is one the registry holds: the steady service and
  // the Run values that were not deleted.
  size_t runRows = 0;
  for (const StoredLoadPoint& point : image.LoadPoints()) runRows += point.type == 1;
  EXPECT_EQ(runRows, static_cast<size_t>(kAdded - kDeleted));
}

}  // namespace
