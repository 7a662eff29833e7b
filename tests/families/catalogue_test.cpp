// The catalogue's answers that no declaration states: class names read from the
// registry, unknown codes and types. What the declarations state is checked across
// the families in location_declarations_test.cpp.

#include "families/common/load_point_catalogue.h"
#include "intake/brumevale_event.h"
#include "support/engine_fixture.h"

using Families::LoadPointEntryName;
using Families::LoadPointTypeDisplayName;
using Families::LoadPointTypeOf;
using Families::SystemSettingTypeOf;
using Intake::BrumevaleRegistryEvent;
using Intake::kOpRegistryValueSet;

namespace EngineTest {
namespace {

class CatalogueTest : public EngineMachine {};

TEST_F(CatalogueTest, ClassWatchEventsAreNamedByTheClassFriendlyName) {
  SetString(u"SOFTWARE\\Classes\\CLSID\\{C1}", u"", u"Native");
  SetString(u"SOFTWARE\\Wow6432Node\\Classes\\CLSID\\{C1}", u"", u"Thirty-two");
  SetString(u"SOFTWARE\\Classes\\CLSID\\{C2}");
  auto event = [&](std::u16string_view clsid, uint32_t code, int32_t extra) {
    const std::u16string key = u"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\CLSID\\" +
                               std::u16string(clsid) + u"\\InProcServer32";
    return BrumevaleRegistryEvent(*MakeRegistryEntry(system_, kOpRegistryValueSet, key), code, extra);
  };
  EXPECT_EQ(LoadPointEntryName(system_, event(u"{C1}", 16, 3)), u"Native");
  EXPECT_EQ(LoadPointEntryName(system_, event(u"{C1}", 23, 3)), u"Native");
  EXPECT_EQ(LoadPointEntryName(system_, event(u"{C1}", 17, 3)), u"Thirty-two");
  EXPECT_EQ(LoadPointEntryName(system_, event(u"{C2}", 16, 3)), u"");  // no default value
  EXPECT_EQ(LoadPointEntryName(system_, event(u"{C1}", 23, 0)), u"InProcServer32");
}

// The friendly name is read whatever string type it was written with, and whole,
// also beyond the documented 2048-byte buffer (1023 characters and the terminator).
TEST_F(CatalogueTest, ClassFriendlyNameOfAnyStringTypeAndLength) {
  auto set = [&](std::u16string_view clsid, uint32_t type, std::u16string_view text) {
    Platform::ScopedKey key;
    ASSERT_EQ(system_.Registry().CreateKey(Platform::kHkeyLocalMachine,
                                           u"SOFTWARE\\Classes\\CLSID\\" + std::u16string(clsid), 0,
                                           Platform::kKeyAllAccess, key.Receive(system_.Registry()), nullptr),
              Platform::kErrorSuccess);
    std::vector<uint8_t> data;
    for (char16_t c : text) data.insert(data.end(), {uint8_t(c & 0xFF), uint8_t(c >> 8)});
    data.insert(data.end(), {0, 0});
    if (type == Platform::kRegMultiSz) data.insert(data.end(), {0, 0});
    ASSERT_EQ(system_.Registry().SetValue(key.Get(), u"", type, data), Platform::kErrorSuccess);
  };
  auto name = [&](std::u16string_view clsid) {
    const std::u16string key = u"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\CLSID\\" +
                               std::u16string(clsid) + u"\\InProcServer32";
    return LoadPointEntryName(
        system_, BrumevaleRegistryEvent(*MakeRegistryEntry(system_, kOpRegistryValueSet, key), 16, 3));
  };
  set(u"{E1}", Platform::kRegExpandSz, u"%ProgramFiles%\\Helper");
  set(u"{M1}", Platform::kRegMultiSz, u"Listed helper");
  set(u"{L1}", Platform::kRegSz, std::u16string(1023, u'x'));
  set(u"{L2}", Platform::kRegSz, std::u16string(1024, u'x'));
  EXPECT_EQ(name(u"{E1}"), u"%ProgramFiles%\\Helper");  // as written, not expanded
  EXPECT_EQ(name(u"{M1}"), u"Listed helper");
  EXPECT_EQ(name(u"{L1}"), std::u16string(1023, u'x'));
  EXPECT_EQ(name(u"{L2}"), std::u16string(1024, u'x'));
}

// The names the product has always shown stay; the later types' names are the
// reports' own, each different (the cross-family test checks that).
TEST(CatalogueNames, ProductNamesAndSettingTypes) {
  EXPECT_EQ(LoadPointTypeDisplayName(1), u"Run");
  EXPECT_EQ(LoadPointTypeDisplayName(14), u"Windows (Run/Load)");
  EXPECT_EQ(LoadPointTypeDisplayName(35), u"UIHost (WOW6432)");
  EXPECT_EQ(LoadPointTypeDisplayName(66), u"Unknown");
  // The settings 15 and 16 are read without a watched value, so the codes skip them.
  const std::pair<uint32_t, uint32_t> settings[] = {{75, 0}, {76, 1}, {89, 14}, {90, 17},
                                                    {93, 20}, {94, 0}, {97, 0}};
  for (auto [code, type] : settings) EXPECT_EQ(SystemSettingTypeOf(code), type) << code;
  for (uint32_t code : {0u, 76u, 94u, 97u, 98u}) EXPECT_EQ(LoadPointTypeOf(code), 0u) << code;
}

}  // namespace
}  // namespace EngineTest
