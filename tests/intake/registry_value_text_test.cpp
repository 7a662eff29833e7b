// Text forms of registry data as entries and registry events give them.

#include "intake/brumevale_event.h"
#include "intake/collector_fixture.h"

namespace {

class RegistryValueTextTest : public CollectorTest {
 protected:
  // A value-set entry of the given type and data bytes.
  const RegistryEntry* Entry(uint32_t type, std::vector<uint8_t> data) {
    ReplyBuilder reply;
    reply.Add({.id2 = 1, .operation = 0x2000, .detail = type},
              Concat({Wide(u"\\REGISTRY\\MACHINE\\SOFTWARE\\Run"), Wide(u"V"), data}));
    Decode(reply, 1);
    return Next<RegistryEntry>();
  }
  std::vector<std::u16string> Texts(uint32_t type, std::vector<uint8_t> data) {
    const RegistryEntry* entry = Entry(type, std::move(data));
    std::vector<std::u16string> texts;
    if (entry == nullptr) return {u"<no entry>"};
    std::u16string text;
    for (size_t i = 0; entry->GetValueText(i, text); ++i) {
      texts.push_back(text);
      if (type != 7) break;
    }
    return texts;
  }
  using Texts_t = std::vector<std::u16string>;
};

TEST_F(RegistryValueTextTest, Strings) {
  EXPECT_EQ(Texts(1, Wide(u"C:\\a.exe")), Texts_t{u"C:\\a.exe"});
  EXPECT_EQ(Texts(2, Wide(u"%windir%\\b", false)), Texts_t{u"%windir%\\b"});
  EXPECT_EQ(Texts(1, Concat({Wide(u"x"), Wide(u"after")})), Texts_t{u"x"});
}

TEST_F(RegistryValueTextTest, MultiStringSplit) {
  EXPECT_EQ(Texts(7, Concat({Wide(u"a"), Wide(u"b"), Wide(u"")})), (Texts_t{u"a", u"b"}));
  EXPECT_EQ(Texts(7, Concat({Wide(u"a"), Wide(u"b")})), (Texts_t{u"a", u"b", u""}));
  EXPECT_EQ(Texts(7, Concat({Wide(u""), Wide(u"")})), Texts_t{});
  EXPECT_EQ(Texts(7, Concat({Wide(u"a"), Wide(u"tail", false)})), (Texts_t{u"a", u"tail"}));
  EXPECT_EQ(Texts(7, Concat({Wide(u"long one"), {0x62}})), (Texts_t{u"long one", u""}));
}

TEST_F(RegistryValueTextTest, Numbers) {
  EXPECT_EQ(Texts(4, {0x2C, 0x01, 0, 0}), Texts_t{u"300"});
  EXPECT_EQ(Texts(4, {0xFF, 0xFF, 0xFF, 0xFF}), Texts_t{u"-1"});
  EXPECT_EQ(Texts(4, {0, 0, 0, 0x80}), Texts_t{u"-2147483648"});
  EXPECT_EQ(Texts(4, {0x2C, 0x01, 0}), Texts_t{});  // too short to hold a number
}

TEST_F(RegistryValueTextTest, RawBytes) {
  EXPECT_EQ(Texts(3, {0x0A, 0xFF, 0x10}), Texts_t{u"0a ff 10"});
  EXPECT_EQ(Texts(3, {0x05}), Texts_t{u"05"});
  EXPECT_EQ(Texts(11, {1, 2, 3, 4, 5, 6, 7, 8}), Texts_t{});  // other types have none
}

TEST_F(RegistryValueTextTest, EventsCarryOneTextPerValueAndTheRawBytes) {
  const RegistryEntry* number = Entry(4, {0x2C, 0x01, 0, 0});
  ASSERT_NE(number, nullptr);
  BrumevaleRegistryEvent numberEvent(*number, 3, 0);
  EXPECT_EQ(numberEvent.ValueTextCount(), 1u);
  EXPECT_EQ(numberEvent.GetValueText(0), u"300");
  EXPECT_EQ(numberEvent.GetValueText(1), u"");
  EXPECT_EQ(numberEvent.MatcherCode(), 3u);
  EXPECT_EQ(numberEvent.TimeText(), number->TimeText());
  EXPECT_EQ(numberEvent.KeyPath().ToText(true), u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Run");
  EXPECT_EQ(numberEvent.ValueName(), u"V");

  const RegistryEntry* list = Entry(7, Concat({Wide(u"a"), Wide(u"b"), Wide(u"c"), Wide(u"")}));
  ASSERT_NE(list, nullptr);
  BrumevaleRegistryEvent listEvent(*list, 5, 42);
  ASSERT_EQ(listEvent.ValueTextCount(), 3u);
  EXPECT_EQ(listEvent.GetValueText(2), u"c");
  EXPECT_EQ(listEvent.ExtraNumber(), 42);

  const RegistryEntry* raw = Entry(3, {0xAB, 0x01});
  ASSERT_NE(raw, nullptr);
  BrumevaleRegistryEvent rawEvent(*raw, 5, 0);
  EXPECT_EQ(rawEvent.RawData(), (std::vector<uint8_t>{0xAB, 0x01}));
  EXPECT_EQ(rawEvent.GetValueText(0), u"ab 01");

  const RegistryEntry* shortNumber = Entry(4, {1});
  ASSERT_NE(shortNumber, nullptr);
  BrumevaleRegistryEvent shortEvent(*shortNumber, 5, 0);
  EXPECT_EQ(shortEvent.ValueTextCount(), 1u);  // one, empty
  EXPECT_EQ(shortEvent.GetValueText(0), u"");
}

TEST_F(RegistryValueTextTest, EventIsBuiltWithAPartialPathWhenParsingFails) {
  ReplyBuilder reply;
  reply.Add({.operation = 0x8000}, Wide(u"\\REGISTRY\\MACHINE\\SOFTWARE\\"));
  Decode(reply, 1);
  const RegistryEntry* entry = Next<RegistryEntry>();
  ASSERT_NE(entry, nullptr);
  BrumevaleRegistryEvent event(*entry, 1, 0);
  EXPECT_EQ(event.Operation(), kRegistryKeyDeleted);
  EXPECT_EQ(event.KeyPath().Root(), kRootMachine);
  EXPECT_EQ(event.KeyPath().Components(), std::vector<std::u16string>{u"SOFTWARE"});
}

}  // namespace
