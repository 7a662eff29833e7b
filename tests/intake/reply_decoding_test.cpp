// The decoder against replies laid out by hand: record stepping, the classes and
// their fields, registry data and what a hostile reply cannot do.

#include "intake/collector_fixture.h"

namespace {

using ReplyDecodingTest = CollectorTest;

TEST_F(ReplyDecodingTest, RecordsFollowEachOtherAtFortyEightPlusDataLength) {
  ReplyBuilder reply;
  // DataLength 10: key path "AB" and value name "C", both terminated.
  reply.Add({.id2 = 111, .operation = 0x4000}, Concat({Wide(u"AB"), Wide(u"C")}));
  reply.Add({.id1 = 7, .id2 = 222, .id3 = 8, .operation = 0x800});
  reply.Add({.id1 = 12, .id2 = 333, .operation = 0x400}, {1, 2, 3, 4, 5, 6});
  ASSERT_EQ(reply.Bytes().size(), 106u + 48u + 6u);
  ASSERT_EQ(reply.Bytes()[58 + 32], 0x00);  // the thread record's Operation at 58
  ASSERT_EQ(reply.Bytes()[58 + 33], 0x08);
  ASSERT_EQ(reply.Bytes()[106 + 33], 0x04);  // the process record's at 106

  Decode(reply, 3);

  TAKE(RegistryEntry, registry);
  EXPECT_EQ(registry->Kind(), kEntryRegistry);
  EXPECT_EQ(registry->FirstId(), 111u);
  EXPECT_EQ(registry->SecondId(), 0u);
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
  EXPECT_TRUE(process->ImagePath().empty());  // an exit looks nothing up
  EXPECT_TRUE(QueueEmpty());
}

TEST_F(ReplyDecodingTest, ZeroRecordsQueueNothing) {
  ReplyBuilder reply;
  reply.Add({.id1 = 1, .operation = 0x800});
  EXPECT_EQ(collector.DecodeReply(reply.Bytes(), 0), 0u);
  EXPECT_EQ(collector.DecodeReply({}, 0), 0u);
  EXPECT_TRUE(QueueEmpty());
}

TEST_F(ReplyDecodingTest, ClassIsDecidedOnOperationBits) {
  ReplyBuilder reply;
  reply.Add({.operation = 0x600});   // both process bits: a process entry, no state
  reply.Add({.operation = 0x1200});  // process bit wins over the thread bit
  reply.Add({.operation = 0x1800});  // both thread bits: a thread entry, no state
  reply.Add({.operation = 0x6000});  // in the registry range, no registry operation
  reply.Add({.operation = 0x3000});  // in the range too, but the thread bit decides first
  Decode(reply, 5);

  TAKE(ProcessEntry, both);
  EXPECT_EQ(both->State(), kStateUnset);
  TAKE(ProcessEntry, mixed);
  EXPECT_EQ(mixed->State(), kStateUnset);
  TAKE(ThreadEntry, thread);
  EXPECT_EQ(thread->State(), kStateUnset);
  TAKE(RegistryEntry, registry);
  EXPECT_EQ(registry->Operation(), 0u);
  TAKE(ThreadEntry, threadBit);
  EXPECT_EQ(threadBit->State(), kStateUnset);
  EXPECT_TRUE(QueueEmpty());
}

TEST_F(ReplyDecodingTest, SystemProcessesAreNamedWithoutAsking) {
  ReplyBuilder reply;
  reply.Add({.id1 = 0, .id2 = 4, .operation = 0x200});
  reply.Add({.id1 = 4, .id2 = 4, .operation = 0x200});
  Decode(reply, 2);
  TAKE(ProcessEntry, idle);
  EXPECT_EQ(idle->State(), kProcessStarted);
  EXPECT_EQ(idle->ImagePath(), u"System Idle");
  EXPECT_EQ(idle->Owner(), u"SYSTEM");
  TAKE(ProcessEntry, system);
  EXPECT_EQ(system->ImagePath(), u"System");
  EXPECT_EQ(system->Owner(), u"SYSTEM");
}

TEST_F(ReplyDecodingTest, RegistryRecordParts) {
  ReplyBuilder reply;
  reply.Add({.operation = 0x2000, .detail = 1});  // no data at all
  reply.Add({.id2 = 5, .operation = 0x2000, .detail = 4},
            Concat({Wide(u"\\REGISTRY\\MACHINE\\X"), Wide(u"V"), {0x2C, 0x01, 0, 0}}));
  reply.Add({.operation = 0x8000}, Wide(u"\\REGISTRY\\MACHINE\\Gone"));
  Decode(reply, 3);

  TAKE(RegistryEntry, empty);
  EXPECT_EQ(empty->Operation(), kRegistryValueSet);
  EXPECT_TRUE(empty->KeyPath().empty());
  EXPECT_TRUE(empty->ValueName().empty());
  EXPECT_FALSE(empty->HasData());
  std::u16string text;
  EXPECT_FALSE(empty->GetValueText(0, text));

  TAKE(RegistryEntry, full);
  EXPECT_EQ(full->KeyPath(), u"\\REGISTRY\\MACHINE\\X");
  EXPECT_EQ(full->ValueName(), u"V");
  EXPECT_EQ(full->ValueType(), 4u);
  EXPECT_EQ(full->Data(), (std::vector<uint8_t>{0x2C, 0x01, 0, 0}));
  ASSERT_TRUE(full->GetValueText(0, text));
  EXPECT_EQ(text, u"300");

  TAKE(RegistryEntry, keyDeleted);
  EXPECT_EQ(keyDeleted->Operation(), kRegistryKeyDeleted);
  EXPECT_EQ(keyDeleted->KeyPath(), u"\\REGISTRY\\MACHINE\\Gone");
  EXPECT_TRUE(keyDeleted->ValueName().empty());
}

// The reply comes from a kernel driver; none of these may read outside the buffer
// (the sanitizer build checks that) or stop the decoder from handling the rest.
TEST_F(ReplyDecodingTest, MalformedRegistryDataKeepsWhatWasReadBeforeTheFault) {
  ReplyBuilder reply;
  reply.Add({.operation = 0x2000, .detail = 1}, Wide(u"\\REGISTRY\\MACHINE\\K", false));
  reply.Add({.operation = 0x2000, .detail = 1}, Concat({Wide(u"K"), Wide(u"Name", false)}));
  reply.Add({.operation = 0x2000, .detail = 1}, Concat({Wide(u"K"), {0x41}}));  // odd byte
  reply.Add({.operation = 0x2000, .detail = 3},
            Concat({Wide(u"K"), Wide(u"V"), std::vector<uint8_t>(2048, 0x11)}));
  Decode(reply, 4);

  TAKE(RegistryEntry, unterminatedKey);
  EXPECT_TRUE(unterminatedKey->KeyPath().empty());
  EXPECT_FALSE(unterminatedKey->HasData());
  TAKE(RegistryEntry, unterminatedName);
  EXPECT_EQ(unterminatedName->KeyPath(), u"K");
  EXPECT_TRUE(unterminatedName->ValueName().empty());
  EXPECT_FALSE(unterminatedName->HasData());
  TAKE(RegistryEntry, oddByte);
  EXPECT_EQ(oddByte->KeyPath(), u"K");
  EXPECT_TRUE(oddByte->ValueName().empty());
  TAKE(RegistryEntry, oversized);  // over 2048 data bytes: nothing is read
  EXPECT_EQ(oversized->Operation(), kRegistryValueSet);
  EXPECT_TRUE(oversized->KeyPath().empty());
  EXPECT_FALSE(oversized->HasData());
}

TEST_F(ReplyDecodingTest, CountBeyondTheRecordsPresentStopsAtTheBufferEnd) {
  ReplyBuilder reply;
  reply.Add({.id1 = 1, .operation = 0x800});
  reply.Add({.id1 = 2, .operation = 0x800});
  EXPECT_EQ(collector.DecodeReply(reply.Bytes(), 1000000), 2u);
  EXPECT_EQ(collector.DecodeReply(reply.Bytes(), 0xFFFFFFFFu), 2u);
}

TEST_F(ReplyDecodingTest, RecordRunningPastTheBufferEndsTheReply) {
  ReplyBuilder reply;
  reply.Add({.id1 = 1, .operation = 0x800});
  // DataLength claims far more than the reply holds.
  reply.Add({.operation = 0x2000}, Wide(u"K"), 0x7FFFFFFF);
  reply.Add({.id1 = 3, .operation = 0x800});
  EXPECT_EQ(collector.DecodeReply(reply.Bytes(), 3), 1u);
  TAKE(ThreadEntry, first);
  EXPECT_EQ(first->SubjectId(), 1u);
  EXPECT_TRUE(QueueEmpty());

  // A fixed part cut short by the end of the buffer is not read either.
  std::vector<uint8_t> truncated(reply.Bytes().begin(), reply.Bytes().begin() + 48 + 43);
  EXPECT_EQ(collector.DecodeReply(truncated, 2), 1u);
}

TEST_F(ReplyDecodingTest, LastRecordOfAFullReplyMayEndWithoutItsPadding) {
  // 1999 records, then a last one whose data ends exactly at byte 107200 (its 4
  // unread padding bytes are missing). One more data byte would cross the end.
  ReplyBuilder reply;
  for (uint32_t i = 0; i < 1999; ++i) reply.Add({.id1 = i, .operation = 0x800});
  const size_t lastStart = reply.Bytes().size();
  reply.Add({.id1 = 9999, .operation = 0x800});
  std::vector<uint8_t> bytes = reply.Bytes();
  bytes.resize(107200, 0);
  const uint32_t fits = static_cast<uint32_t>(107200 - lastStart - 44);
  for (int i = 0; i < 4; ++i) bytes[lastStart + i] = static_cast<uint8_t>(fits >> (8 * i));
  EXPECT_EQ(collector.DecodeReply(bytes, 2000), 2000u);

  for (int i = 0; i < 4; ++i) bytes[lastStart + i] = static_cast<uint8_t>((fits + 1) >> (8 * i));
  EXPECT_EQ(collector.DecodeReply(bytes, 2000), 1999u);
}

}  // namespace
