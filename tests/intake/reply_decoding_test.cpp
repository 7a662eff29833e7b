// The decoder against replies laid out by hand: record stepping, the classes and
// their fields, and what a hostile reply cannot do.

#include "intake/collector_fixture.h"

namespace Intake {

namespace {

using ReplyDecodingTest = CollectorTest;

TEST_F(ReplyDecodingTest, RecordsFollowEachOtherAtFortyEightPlusDataLength) {
  ReplyBuilder reply;  // DataLength 10, 0 and 6: the records start at 0, 58 and 106
  reply.Add({.id2 = 111, .operation = 0x4000}, Concat({Wide(u"AB"), Wide(u"C")}));
  reply.Add({.id1 = 7, .id2 = 222, .id3 = 8, .operation = 0x800});
  reply.Add({.id1 = 12, .id2 = 333, .operation = 0x400}, {1, 2, 3, 4, 5, 6});
  ASSERT_EQ(reply.Bytes()[58 + 33], 0x08);
  ASSERT_EQ(reply.Bytes()[106 + 33], 0x04);
  Decode(reply, 3);

  TAKE(RegistryEntry, registry);
  EXPECT_EQ(registry->Kind(), kEntryRegistry);
  EXPECT_EQ(registry->FirstId(), 111u);
  EXPECT_EQ(registry->Operation(), kRegistryValueDeleted);
  EXPECT_EQ(registry->KeyPath(), u"AB");
  EXPECT_EQ(registry->ValueName(), u"C");
  EXPECT_FALSE(registry->HasData());
  TAKE(ThreadEntry, thread);
  EXPECT_EQ(thread->Kind(), kEntryThread);
  EXPECT_EQ(thread->FirstId(), 222u);
  EXPECT_EQ(thread->SecondId(), 8u);
  EXPECT_EQ(thread->SubjectId(), 7u);
  EXPECT_EQ(thread->State(), kThreadCreated);
  TAKE(ProcessEntry, process);
  EXPECT_EQ(process->Kind(), kEntryProcess);
  EXPECT_EQ(process->FirstId(), 333u);
  EXPECT_EQ(process->ProcessId(), 12u);
  EXPECT_EQ(process->State(), kProcessEnded);
  EXPECT_TRUE(QueueEmpty());
  EXPECT_EQ(collector.DecodeReply(reply.Bytes(), 0), 0u);
  EXPECT_TRUE(QueueEmpty());
}

TEST_F(ReplyDecodingTest, ClassIsDecidedOnOperationBitsInOrder) {
  ReplyBuilder reply;
  for (uint32_t operation : {0x600u, 0x1200u, 0x1800u, 0x6000u, 0x3000u}) {
    reply.Add({.operation = operation});
  }
  Decode(reply, 5);
  TAKE(ProcessEntry, bothProcessBits);
  EXPECT_EQ(bothProcessBits->State(), kStateUnset);
  TAKE(ProcessEntry, processBeforeThread);
  TAKE(ThreadEntry, bothThreadBits);
  EXPECT_EQ(bothThreadBits->State(), kStateUnset);
  TAKE(RegistryEntry, registryRange);
  EXPECT_EQ(registryRange->Operation(), 0u);
  TAKE(ThreadEntry, threadBitInRegistryRange);
}

// None of these may read outside the buffer (the sanitizer build checks that); each
// entry keeps what was read before the fault.
TEST_F(ReplyDecodingTest, MalformedRegistryData) {
  ReplyBuilder reply;
  reply.Add({.operation = 0x2000, .detail = 1}, Wide(u"\\REGISTRY\\MACHINE\\K", false));
  reply.Add({.operation = 0x2000, .detail = 1}, Concat({Wide(u"K"), Wide(u"Name", false)}));
  reply.Add({.operation = 0x2000, .detail = 1}, Concat({Wide(u"K"), {0x41}}));
  reply.Add({.operation = 0x2000, .detail = 3},
            Concat({Wide(u"K"), Wide(u"V"), std::vector<uint8_t>(2048, 0x11)}));
  Decode(reply, 4);
  TAKE(RegistryEntry, unterminatedKey);
  EXPECT_EQ(unterminatedKey->KeyPath(), u"");
  EXPECT_FALSE(unterminatedKey->HasData());
  for (int i = 0; i < 2; ++i) {  // unterminated name; a lone odd byte for a name
    TAKE(RegistryEntry, noName);
    EXPECT_EQ(noName->KeyPath(), u"K");
    EXPECT_EQ(noName->ValueName(), u"");
    EXPECT_FALSE(noName->HasData());
  }
  // Over the documented 2048 data bytes the record is still read whole.
  TAKE(RegistryEntry, oversized);
  EXPECT_EQ(oversized->Operation(), kRegistryValueSet);
  EXPECT_EQ(oversized->KeyPath(), u"K");
  EXPECT_EQ(oversized->Data().size(), 2048u);
}

TEST_F(ReplyDecodingTest, DecodingStopsAtTheFirstRecordNotWhollyInTheBuffer) {
  ReplyBuilder reply;
  reply.Add({.id1 = 1, .operation = 0x800});
  reply.Add({.id1 = 2, .operation = 0x800});
  EXPECT_EQ(collector.DecodeReply(reply.Bytes(), 0xFFFFFFFFu), 2u);  // count beyond the records
  std::vector<uint8_t> cut(reply.Bytes().begin(), reply.Bytes().begin() + 48 + 43);
  EXPECT_EQ(collector.DecodeReply(cut, 2), 1u);  // a fixed part cut short
  reply.Add({.operation = 0x2000}, Wide(u"K"), 0x7FFFFFFF);  // DataLength past the end
  reply.Add({.id1 = 4, .operation = 0x800});
  EXPECT_EQ(collector.DecodeReply(reply.Bytes(), 4), 2u);

  // A full reply whose last record's data ends at byte 107200, without its 4 unread
  // padding bytes, is read whole; one more data byte crosses the end.
  ReplyBuilder full;
  for (uint32_t i = 0; i < 2000; ++i) full.Add({.id1 = i, .operation = 0x800});
  std::vector<uint8_t> bytes = full.Bytes();
  const size_t lastStart = bytes.size() - 48;
  bytes.resize(kDriverReplySize, 0);
  const uint32_t fits = static_cast<uint32_t>(kDriverReplySize - lastStart - 44);
  for (uint32_t dataLength : {fits, fits + 1}) {
    for (int i = 0; i < 4; ++i) bytes[lastStart + i] = static_cast<uint8_t>(dataLength >> (8 * i));
    EXPECT_EQ(collector.DecodeReply(bytes, 2000), dataLength == fits ? 2000u : 1999u);
  }
}

}  // namespace

}  // namespace Intake
