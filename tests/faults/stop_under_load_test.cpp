// "service stop" while the driver has a large backlog of records and while a
// rescan runs: the service goes through stop pending to stopped in that order,
// every thread ends, and what was committed stays. How long the stop takes is
// printed beside the wait hint, not asserted (it depends on the host).

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <thread>
#include <vector>

#include "fault_image.h"
#include "platform/emulated/minifilter.h"
#include "platform/emulated/registry_store.h"
#include "platform/emulated/service_store.h"
#include "platform/scoped_handle.h"
#include "platform/text_encoding.h"
#include "service/logger_process.h"
#include "sim/machine_image.h"

namespace {

using namespace std::chrono_literals;
using Platform::Utf8ToUtf16;

constexpr uint32_t kWaitHint = 3000;

class StopUnderLoad : public ::testing::Test {
 protected:
  static constexpr int kValues = 1500;
  // Enough load points that the rescans take a while.
  StopUnderLoad() : image_(kValues) {}
  void Boot() {
    std::string error;
    booted_ = Sim::BootedImage::Boot(image_.Folder(), &error);
    ASSERT_NE(booted_, nullptr) << error;
    session_ = std::make_unique<Sim::ServiceSession>(*booted_);
    ASSERT_TRUE(session_->Install(&error) && session_->Start(&error)) << error;
  }
  void TearDown() override {
    std::string ignored;
    if (session_ && !stopped_) session_->Stop(&ignored);
  }
  // Stops the service and prints how long that took with what was still queued.
  void StopAndMeasure(const char* what) {
    const size_t queued = booted_->Machine().Filter().QueuedRecords();
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    ASSERT_TRUE(session_->Stop(&error)) << error;
    stopped_ = true;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::cout << "stop " << what << " (" << queued << " records queued at the driver): " << took.count()
              << " ms against a wait hint of " << kWaitHint << " ms\n";
  }
  // After the last "running": stop pending (check point 1, the wait hint), stopped.
  void ExpectStopOrder() {
    const auto history = booted_->Machine().Services().StatusHistory(kServiceName);
    size_t running = history.size();
    for (size_t i = 0; i < history.size(); ++i)
      if (history[i].currentState == Platform::kServiceRunning) running = i;
    ASSERT_LT(running + 2, history.size() + 1) << "no stop after the service ran";
    ASSERT_EQ(history.size(), running + 3);
    EXPECT_EQ(history[running + 1].currentState, Platform::kServiceStopPending);
    EXPECT_EQ(history[running + 1].checkPoint, 1u);
    EXPECT_EQ(history[running + 1].waitHint, kWaitHint);
    EXPECT_EQ(history[running + 2].currentState, Platform::kServiceStopped);
  }
  Platform::Registry& Explorer() { return booted_->Machine().Process(FaultImage::kExplorer).Registry(); }

  FaultImage image_;
  std::unique_ptr<Sim::BootedImage> booted_;
  std::unique_ptr<Sim::ServiceSession> session_;
  bool stopped_ = false;
};

// The driver runs and takes 100,000 records before the service starts; no poll
// happens before the service's first rescan has ended, so the whole backlog is
// still to be worked off (at the driver or in the service's own queue) when the
// stop comes right after that rescan.
TEST_F(StopUnderLoad, WithAHundredThousandRecordsQueued) {
  constexpr uint32_t kRecords = 100000;
  std::string error;
  booted_ = Sim::BootedImage::Boot(image_.Folder(), &error);
  ASSERT_NE(booted_, nullptr) << error;
  session_ = std::make_unique<Sim::ServiceSession>(*booted_);
  ASSERT_TRUE(session_->Install(&error)) << error;
  Platform::ScopedKey noise;
  Platform::Registry& registry = Explorer();
  ASSERT_EQ(registry.CreateKey(Platform::kHkeyLocalMachine, u"SOFTWARE\\N", 0, Platform::kKeyAllAccess,
                               noise.Receive(registry), nullptr), Platform::kErrorSuccess);
  booted_->Machine().Filter().Start();
  for (uint32_t i = 0; i < kRecords; ++i) {
    const uint8_t data[4] = {uint8_t(i), uint8_t(i >> 8), uint8_t(i >> 16), 0};
    registry.SetValue(noise.Get(), u"n", Platform::kRegDword, data);
  }
  ASSERT_GE(booted_->Machine().Filter().QueuedRecords(), kRecords);
  ASSERT_EQ(booted_->Machine().Filter().DroppedRecords(), 0u);
  ASSERT_TRUE(session_->Start(&error)) << error;
  const std::vector<StoredLoadPoint> before = image_.LoadPoints();
  StopAndMeasure("with a backlog");
  ExpectStopOrder();
  StoredLoadPoint row;
  for (const StoredLoadPoint& kept : before) EXPECT_TRUE(image_.Find(kept.type, kept.entry, &row));
  EXPECT_EQ(QueryFile(image_.DatabaseHostPath(), "PRAGMA integrity_check"),
            (std::vector<std::vector<std::string>>{{"ok"}}));
}

// The rescan gets real work: values removed and added behind the driver's back
// (edits by path report no activity), so only a rescan can find them. The stop
// comes while it holds its exclusive transaction; the rescan is part of the
// periodic thread's current pass, which ends before the thread does, so its work
// is committed and the file stays sound.
TEST_F(StopUnderLoad, DuringARescanWhichEndsAndKeepsItsWork) {
  constexpr int kRemoved = 1000, kAdded = 1000;
  Boot();
  std::vector<Emulated::RegistryEdit> edits;
  const std::u16string run = u"MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  for (int i = 0; i < kRemoved; ++i)
    edits.push_back({Emulated::RegistryEdit::Kind::kDeleteValue, run, u"Extra" + Utf8ToUtf16(std::to_string(i))});
  for (int i = 0; i < kAdded; ++i) {
    const std::u16string data = u"C:\\quiet\\q" + Utf8ToUtf16(std::to_string(i)) + u".exe";
    std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(data.c_str()),
                               reinterpret_cast<const uint8_t*>(data.c_str() + data.size() + 1));
    edits.push_back({Emulated::RegistryEdit::Kind::kSetValue, run, u"Quiet" + Utf8ToUtf16(std::to_string(i)),
                     Platform::kRegSz, std::move(bytes)});
  }
  booted_->Machine().RegistryState().Apply(edits);
  booted_->Machine().Time().Advance(300s);
  // The rescan holds its exclusive transaction from start to end.
  bool locked = false;
  for (int i = 0; i < 6000 && !(locked = FileIsLocked(image_.DatabaseHostPath())); ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(locked) << "the rescan was not seen holding the database";
  StopAndMeasure("during a rescan");
  ExpectStopOrder();
  StoredLoadPoint row;
  for (int i = 0; i < kValues; ++i)
    EXPECT_EQ(image_.Find(1, u"Extra" + Utf8ToUtf16(std::to_string(i)), &row), i >= kRemoved) << "Extra" << i;
  for (int i = 0; i < kAdded; ++i)
    EXPECT_TRUE(image_.Find(1, u"Quiet" + Utf8ToUtf16(std::to_string(i)), &row)) << "Quiet" << i;
  EXPECT_EQ(QueryFile(image_.DatabaseHostPath(), "PRAGMA integrity_check"),
            (std::vector<std::vector<std::string>>{{"ok"}}));
}

}  // namespace
