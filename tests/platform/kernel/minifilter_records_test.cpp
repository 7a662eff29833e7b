// The driver's records byte for byte, for every kind of activity the kernel reports.
#include <gtest/gtest.h>

#include "kernel_test_support.h"
#include "platform/scoped_handle.h"

namespace {

using namespace KernelTest;
using Emulated::Actor;

constexpr uint32_t kServicePid = 1000;
constexpr Actor kActor{1234, 5678};

class MinifilterRecordsTest : public ::testing::Test {
 protected:
  MinifilterRecordsTest() : machine_(OneDriveConfig()), sink_(machine_.Activity()) {
    machine_.Filter().Start();
    port_ = &machine_.Process(kServicePid).FilterPort();
    EXPECT_EQ(port_->ConnectCommunicationPort(u"\\BrumevaleLookoutPort", 0, {}, &handle_), 0);
  }

  Reply Take() {
    Reply reply = Poll(*port_, handle_);
    EXPECT_EQ(reply.result, 0);
    return reply;
  }

  Emulated::Machine machine_;
  Emulated::ActivitySink& sink_;
  Platform::FilterPort* port_ = nullptr;
  Platform::Handle handle_ = 0;
};

TEST_F(MinifilterRecordsTest, ThreadCreatedRecordLiteralBytes) {
  sink_.ThreadCreated({0x0102, 0x0304}, 0x0A0B0C0D);
  const Reply reply = Take();
  const Bytes expected = {
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // DataLength 0, reserved
      0x0D, 0x0C, 0x0B, 0x0A, 0x00, 0x00, 0x00, 0x00,  // Id1: the new thread
      0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // Id2: acting process
      0x04, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // Id3: acting thread
      0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // Operation 0x800, Detail 0
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // reserved, trailing word
  };
  EXPECT_EQ(reply.count, 1u);
  EXPECT_EQ(reply.bytesReturned, 48u);
  EXPECT_EQ(reply.bytes, expected);
}

TEST_F(MinifilterRecordsTest, RegistryValueSetCarriesPathNameAndRawData) {
  const std::u16string_view key = u"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\Run";
  const Bytes value = Texts({u"C:\\x.exe"});
  sink_.RegistryValueSet(kActor, key, u"Updater", Platform::kRegSz, value);
  const Bytes dword = {0x01, 0x00, 0x00, 0x00};
  sink_.RegistryValueSet(kActor, key, u"", Platform::kRegDword, dword);

  Bytes expected = HandRecord(0, 1234, 5678, 0x2000, 1, Texts({key, u"Updater"}, value));
  const Bytes second = HandRecord(0, 1234, 5678, 0x2000, 4, Texts({key, u""}, dword));
  expected.insert(expected.end(), second.begin(), second.end());
  const Reply reply = Take();
  EXPECT_EQ(reply.count, 2u);
  EXPECT_EQ(reply.bytes, expected);
}

TEST_F(MinifilterRecordsTest, RegistryDeletionsCarryOnlyTheirNames) {
  const std::u16string_view key = u"\\REGISTRY\\USER\\S-1-5-21-1-2-3-1001\\Software\\A";
  sink_.RegistryValueDeleted(kActor, key, u"Run");
  sink_.RegistryKeyDeleted(kActor, u"\\REGISTRY\\USER\\S-1-5-21-1-2-3-1001\\Software\\A\\B");
  sink_.RegistryKeyDeleted(kActor, key);

  Bytes expected = HandRecord(0, 1234, 5678, 0x4000, 0, Texts({key, u"Run"}));
  for (const Bytes& next :
       {HandRecord(0, 1234, 5678, 0x8000, 0,
                   Texts({u"\\REGISTRY\\USER\\S-1-5-21-1-2-3-1001\\Software\\A\\B"})),
        HandRecord(0, 1234, 5678, 0x8000, 0, Texts({key}))}) {
    expected.insert(expected.end(), next.begin(), next.end());
  }
  EXPECT_EQ(Take().bytes, expected);
}

TEST_F(MinifilterRecordsTest, FileObjectLifeFromCreateToClose) {
  const std::u16string_view name = u"\\Device\\HarddiskVolume2\\Temp\\a.tmp";
  const std::u16string_view renamed = u"\\Device\\HarddiskVolume2\\Temp\\b.exe";
  sink_.FileCreated(kActor, 0xFFFFA0010000ULL, u"\\Device\\HarddiskVolume2\\Temp\\Dir", true);
  sink_.FileCreated(kActor, 0xFFFFA0020000ULL, name, false);
  sink_.FileWriteStarted(kActor, 0xFFFFA0020000ULL, name);
  sink_.FileWriteFinished(kActor, 0xFFFFA0020000ULL, name);
  sink_.FileDeleteOnClose(kActor, 0xFFFFA0020000ULL, name, true);
  sink_.FileDeleteOnClose(kActor, 0xFFFFA0020000ULL, name, false);
  sink_.FileRenamed(kActor, 0xFFFFA0020000ULL, name, u"\\??\\C:\\Temp\\b.exe");
  sink_.FileClosed(kActor, 0xFFFFA0020000ULL, renamed);

  const uint64_t file = 0xFFFFA0020000ULL;
  const std::vector<Bytes> records = {
      HandRecord(0xFFFFA0010000ULL, 1234, 5678, 1, 2,
                 Texts({u"\\Device\\HarddiskVolume2\\Temp\\Dir"})),
      HandRecord(file, 1234, 5678, 1, 0, Texts({name})),
      HandRecord(file, 1234, 5678, 64, 0, Texts({name})),
      HandRecord(file, 1234, 5678, 128, 0, Texts({name})),
      HandRecord(file, 1234, 5678, 4, 1, Texts({name})),
      HandRecord(file, 1234, 5678, 4, 0, Texts({name})),
      HandRecord(file, 1234, 5678, 32, 0, Texts({name, u"\\??\\C:\\Temp\\b.exe"})),
      HandRecord(file, 1234, 5678, 16, 0, Texts({renamed})),
  };
  Bytes expected;
  for (const Bytes& record : records) expected.insert(expected.end(), record.begin(), record.end());
  const Reply reply = Take();
  EXPECT_EQ(reply.count, records.size());
  EXPECT_EQ(reply.bytes, expected);
}

// Key paths and value names are bounded by the registry, raw data is not: a value
// too large for one reply keeps its names and as much data as fits, so that the
// record can still be delivered.
TEST_F(MinifilterRecordsTest, OversizedValueIsCutToFitOneReply) {
  const Bytes big(300000, 0x5A);
  sink_.RegistryValueSet(kActor, u"\\REGISTRY\\MACHINE\\K", u"V", Platform::kRegBinary, big);
  const Bytes small(5000, 0x11);
  sink_.RegistryValueSet(kActor, u"\\REGISTRY\\MACHINE\\K", u"W", Platform::kRegBinary, small);

  const Reply first = Take();
  ASSERT_EQ(first.count, 1u);
  EXPECT_EQ(first.bytesReturned, Emulated::kDriverReplyCapacity);
  const auto decoded = Emulated::DecodeDriverRecords(first.bytes, 1);
  ASSERT_TRUE(decoded.has_value());
  size_t at = 0;
  EXPECT_EQ(Emulated::ReadRecordString((*decoded)[0].data, &at), u"\\REGISTRY\\MACHINE\\K");
  EXPECT_EQ(Emulated::ReadRecordString((*decoded)[0].data, &at), u"V");

  // Beyond what the service keeps (2048 bytes) the data still comes whole.
  const Reply second = Take();
  ASSERT_EQ(second.count, 1u);
  EXPECT_EQ(second.bytes, HandRecord(0, 1234, 5678, 0x2000, 3,
                                     Texts({u"\\REGISTRY\\MACHINE\\K", u"W"}, small)));
}

}  // namespace
