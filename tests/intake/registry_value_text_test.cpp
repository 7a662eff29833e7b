// Text forms of registry data as entries and registry events give them.

#include "intake/brumevale_event.h"
#include "intake/collector_fixture.h"

namespace Intake {

namespace {

class RegistryValueTextTest : public CollectorTest {
 protected:
  // A value-set entry under the machine's Run key.
  const RegistryEntry* Entry(uint32_t type, std::vector<uint8_t> data) {
    ReplyBuilder reply;
    reply.Add({.operation = 0x2000, .detail = type},
              Concat({Wide(u"\\REGISTRY\\MACHINE\\SOFTWARE\\Run"), Wide(u"V"), data}));
    Decode(reply, 1);
    return Next<RegistryEntry>();
  }
  // The texts of a registry event built from such an entry.
  Texts EventTexts(uint32_t type, std::vector<uint8_t> data) {
    const RegistryEntry* entry = Entry(type, std::move(data));
    if (entry == nullptr) return {u"<no entry>"};
    BrumevaleRegistryEvent event(*entry, 1, 0);
    Texts texts;
    for (size_t i = 0; i < event.ValueTextCount(); ++i) texts.push_back(event.GetValueText(i));
    return texts;
  }
};

TEST_F(RegistryValueTextTest, OneTextPerValueButOnePerStringOfAList) {
  EXPECT_EQ(EventTexts(1, Wide(u"C:\\a.exe")), Texts{u"C:\\a.exe"});
  EXPECT_EQ(EventTexts(2, Wide(u"%windir%\\b", false)), Texts{u"%windir%\\b"});
  EXPECT_EQ(EventTexts(1, Concat({Wide(u"x"), Wide(u"after")})), Texts{u"x"});
  EXPECT_EQ(EventTexts(4, {0x2C, 0x01, 0, 0}), Texts{u"300"});
  EXPECT_EQ(EventTexts(4, {0xFF, 0xFF, 0xFF, 0xFF}), Texts{u"-1"});
  EXPECT_EQ(EventTexts(4, {0x2C, 0x01, 0}), Texts{u""});  // too short for a number
  EXPECT_EQ(EventTexts(3, {0x0A, 0xFF, 0x10}), Texts{u"0a ff 10"});
  EXPECT_EQ(EventTexts(3, {0x05}), Texts{u"05"});
  EXPECT_EQ(EventTexts(11, {1, 2, 3, 4, 5, 6, 7, 8}), Texts{u""});
  EXPECT_EQ(EventTexts(1, {}), Texts{u""});  // no data at all
}

TEST_F(RegistryValueTextTest, MultiStringSplit) {
  EXPECT_EQ(EventTexts(7, Concat({Wide(u"a"), Wide(u"b"), Wide(u"")})), (Texts{u"a", u"b"}));
  EXPECT_EQ(EventTexts(7, Concat({Wide(u"a"), Wide(u"b")})), (Texts{u"a", u"b", u""}));
  EXPECT_EQ(EventTexts(7, Concat({Wide(u""), Wide(u"")})), Texts{});
  EXPECT_EQ(EventTexts(7, Concat({Wide(u"a"), Wide(u"tail", false), {0x62}})),
            (Texts{u"a", u"tail"}));
}

TEST_F(RegistryValueTextTest, EventCopiesTheEntryAndKeepsRawBytes) {
  const RegistryEntry* raw = Entry(3, {0xAB, 0x01});
  ASSERT_NE(raw, nullptr);
  BrumevaleRegistryEvent event(*raw, 5, 42);
  EXPECT_EQ(event.RawData(), (std::vector<uint8_t>{0xAB, 0x01}));
  EXPECT_EQ(event.MatcherCode(), 5u);
  EXPECT_EQ(event.ExtraNumber(), 42);
  EXPECT_EQ(event.TimeText(), raw->TimeText());
  EXPECT_EQ(event.ValueName(), u"V");
  EXPECT_EQ(event.KeyPath().ToText(true), u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Run");
  EXPECT_EQ(event.GetValueText(1), u"");
}

TEST_F(RegistryValueTextTest, EventIsBuiltWithAPartialPathWhenParsingFails) {
  ReplyBuilder reply;
  reply.Add({.operation = 0x8000}, Wide(u"\\REGISTRY\\MACHINE\\SOFTWARE\\"));
  Decode(reply, 1);
  TAKE(RegistryEntry, entry);
  BrumevaleRegistryEvent event(*entry, 1, 0);
  EXPECT_EQ(event.Operation(), kRegistryKeyDeleted);
  EXPECT_EQ(event.KeyPath().Root(), kRootMachine);
  EXPECT_EQ(event.KeyPath().Components(), Texts{u"SOFTWARE"});
}

}  // namespace

}  // namespace Intake
