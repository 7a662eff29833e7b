#include <set>

#include "engine/registry_event_matcher.h"
#include "intake/brumevale_event.h"
#include "ledger/change_record.h"
#include "families/common/load_point_catalogue.h"
#include "support/engine_fixture.h"

namespace EngineTest {
namespace {

// name: V value name, L last component, P the one before, n none (a COM-class code
// outside a class watch names like V or L). user: S the hive's SID, K the control
// set (second component), n none. depth: D the entry is a value, I ignored.
struct CodeRow {
  uint32_t code;
  uint32_t type;
  char name;
  char user;
  int32_t depth;
};
constexpr int32_t D = kKeyDepthValue;
constexpr int32_t I = kKeyDepthIgnore;

constexpr CodeRow kRows[] = {
    {1, 1, 'V', 'S', D},   {2, 16, 'V', 'S', D},  {3, 2, 'V', 'S', D},   {4, 17, 'V', 'S', D},
    {5, 3, 'V', 'S', D},   {6, 4, 'V', 'S', D},   {7, 5, 'V', 'S', D},   {8, 18, 'V', 'S', D},
    {9, 6, 'V', 'S', D},   {10, 7, 'V', 'S', D},  {11, 19, 'V', 'S', D}, {12, 8, 'V', 'S', D},
    {13, 20, 'V', 'S', D}, {14, 9, 'L', 'S', D},  {15, 21, 'L', 'S', D}, {16, 10, 'V', 'S', D},
    {17, 22, 'V', 'S', D}, {18, 11, 'V', 'S', D}, {19, 23, 'V', 'S', D}, {20, 12, 'L', 'K', 4},
    {21, 12, 'P', 'K', 4}, {22, 14, 'V', 'S', D}, {23, 15, 'L', 'S', 7}, {24, 24, 'L', 'S', 8},
    {25, 25, 'V', 'S', D}, {26, 26, 'V', 'S', D}, {27, 27, 'n', 'n', D}, {28, 28, 'n', 'n', D},
    {29, 12, 'L', 'K', D}, {30, 12, 'L', 'K', D}, {31, 12, 'L', 'K', I}, {32, 30, 'V', 'K', D},
    {33, 31, 'V', 'K', D}, {34, 32, 'V', 'K', D}, {35, 33, 'V', 'K', D}, {36, 34, 'V', 'S', D},
    {37, 35, 'V', 'S', D}, {38, 36, 'V', 'K', D}, {39, 37, 'V', 'S', D}, {40, 39, 'V', 'S', D},
    {41, 38, 'V', 'S', D}, {42, 40, 'L', 'S', D}, {43, 60, 'L', 'S', D}, {44, 41, 'L', 'S', D},
    {45, 61, 'L', 'S', D}, {46, 42, 'V', 'S', D}, {47, 43, 'V', 'S', D}, {48, 44, 'L', 'S', D},
    {49, 45, 'L', 'S', D}, {50, 46, 'V', 'S', D}, {51, 47, 'L', 'S', D}, {52, 48, 'L', 'S', D},
    {53, 49, 'V', 'S', D}, {54, 50, 'L', 'K', D}, {55, 51, 'L', 'S', 5}, {56, 52, 'L', 'S', 6},
    {57, 51, 'L', 'S', I}, {58, 52, 'L', 'S', I}, {59, 53, 'L', 'K', 8}, {60, 62, 'L', 'K', 8},
    {61, 53, 'L', 'K', I}, {62, 62, 'L', 'K', I}, {63, 54, 'L', 'S', 5}, {64, 55, 'L', 'S', 6},
    {65, 56, 'L', 'S', D}, {66, 57, 'L', 'K', 8}, {67, 63, 'L', 'K', 8}, {68, 58, 'P', 'K', 4},
    {69, 58, 'P', 'K', I}, {70, 58, 'n', 'K', D}, {71, 59, 'V', 'K', D}, {72, 64, 'L', 'S', 8},
    {73, 65, 'L', 'S', 9}, {74, 64, 'n', 'n', D}, {75, 65, 'n', 'n', D},
};

constexpr char16_t kUserKey[] = u"\\REGISTRY\\USER\\S-1-5-21-1-2-3-1001\\A\\B\\C\\D\\E\\F\\G\\H\\I";

class CatalogueTest : public EngineMachine {};

TEST_F(CatalogueTest, EveryCodeHasItsTypeNameRuleUserRuleAndDepth) {
  const auto entry = MakeRegistryEntry(system_, kOpRegistryValueSet, kUserKey, u"Val");
  auto expectedName = [](char rule) -> std::u16string {
    return rule == 'V' ? u"Val" : rule == 'L' ? u"I" : rule == 'P' ? u"H" : u"";
  };
  auto expectedUser = [](char rule) -> std::u16string {
    return rule == 'S' ? u"S-1-5-21-1-2-3-1001" : rule == 'K' ? u"B" : u"";
  };
  std::set<uint32_t> listed;
  for (const CodeRow& row : kRows) {
    SCOPED_TRACE(row.code);
    listed.insert(row.code);
    const BrumevaleRegistryEvent event(*entry, row.code, 0);
    EXPECT_EQ(LoadPointTypeOf(row.code), row.type);
    EXPECT_EQ(LoadPointEntryName(system_, event), expectedName(row.name));
    EXPECT_EQ(LoadPointUserId(event), expectedUser(row.user));
    EXPECT_EQ(LoadPointKeyDepth(row.code), row.depth);
  }
  for (uint32_t code = 0; code <= kLastMatcherCode + 1; ++code) {
    if (listed.count(code) != 0) continue;
    SCOPED_TRACE(code);
    EXPECT_EQ(LoadPointTypeOf(code), 0u);
    EXPECT_EQ(LoadPointEntryName(system_, BrumevaleRegistryEvent(*entry, code, 0)), u"");
  }
}

TEST_F(CatalogueTest, MachineKeysHaveNoUserAndServicesNameTheirKey) {
  const auto image = MakeRegistryEntry(system_, kOpRegistryValueSet,
                                       u"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet002\\Services\\Foo",
                                       u"ImagePath");
  const BrumevaleRegistryEvent service(*image, 20, 0);
  EXPECT_EQ(LoadPointEntryName(system_, service), u"Foo");
  EXPECT_EQ(LoadPointUserId(service), u"ControlSet002");
  const BrumevaleRegistryEvent run(*image, 1, 0);
  EXPECT_EQ(LoadPointUserId(run), u"");
}

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

TEST(CatalogueNames, SettingTypesControlSetTypesAndDisplayNames) {
  const std::pair<uint32_t, uint32_t> settings[] = {{75, 0}, {76, 1}, {89, 14}, {90, 17},
                                                    {93, 20}, {94, 0}, {97, 0}};
  for (auto [code, type] : settings) EXPECT_EQ(SystemSettingTypeOf(code), type) << code;

  const std::set<uint32_t> controlSetTypes = {12, 13, 29, 30, 31, 32, 33, 36,
                                              50, 53, 57, 58, 59, 62, 63};
  std::set<std::u16string> names;
  for (uint32_t type = 0; type <= kLastLoadPointType + 1; ++type) {
    EXPECT_EQ(IsControlSetType(type) != 0, controlSetTypes.count(type) != 0) << type;
    if (type >= 1 && type <= kLastLoadPointType) names.insert(LoadPointTypeDisplayName(type));
  }
  EXPECT_EQ(names.size(), kLastLoadPointType);  // every type has a name of its own
  EXPECT_EQ(LoadPointTypeDisplayName(1), u"Run");
  EXPECT_EQ(LoadPointTypeDisplayName(14), u"Windows (Run/Load)");
  EXPECT_EQ(LoadPointTypeDisplayName(35), u"UIHost (WOW6432)");
  EXPECT_EQ(LoadPointTypeDisplayName(66), u"Unknown");
}

TEST(ChangeRecords, SettersFillTheParametersAndKindsMapToEventTypes) {
  LoadPointExtEventData shown;
  shown.SetAdded(u"C", u"Shown");
  shown.SetLoadPoint(1, u"Name", u"");
  EXPECT_EQ(shown.extendedEventType, kExtendedAdded);
  EXPECT_EQ(shown.GetParam(0), u"1");
  EXPECT_EQ(shown.GetParam(1), u"Shown");  // the display name outlives SetLoadPoint
  EXPECT_EQ(shown.GetParam(4), u"C");

  ChangeRecord fresh(9);
  EXPECT_EQ(fresh.kind, kChangeKindNone);
  fresh.extendedData->SetLoadPoint(16, u"Name", u"S");
  EXPECT_EQ(fresh.extendedData->GetParam(1), u"Name");
  EXPECT_EQ(fresh.extendedData->GetParam(2), u"S");
  EXPECT_EQ(fresh.extendedData->extendedEventType, 0u);

  LoadPointExtEventData renamed;
  renamed.SetNameChanged(u"New", u"Old");
  EXPECT_EQ(renamed.extendedEventType, kExtendedNameChanged);
  EXPECT_EQ(renamed.GetParam(1), u"New");
  EXPECT_EQ(renamed.GetParam(4), u"New");
  EXPECT_EQ(renamed.GetParam(5), u"Old");

  LoadPointExtEventData changed;
  changed.SetChanged(u"new", u"old", u"");
  changed.SetDeleted(u"gone", u"");
  EXPECT_EQ(changed.extendedEventType, kExtendedDeleted);
  EXPECT_EQ(changed.GetParam(4), u"gone");
  EXPECT_EQ(changed.GetParam(1), u"");  // an empty alternative name stores nothing

  EXPECT_EQ(EventTypeOfChangeKind(kChangeKindAdded), kEventLoadPointAdded);
  EXPECT_EQ(EventTypeOfChangeKind(kChangeKindChanged), kEventLoadPointChanged);
  EXPECT_EQ(EventTypeOfChangeKind(kChangeKindDeleted), kEventLoadPointRemoved);
  EXPECT_EQ(EventTypeOfChangeKind(kChangeKindNone), 0u);
}

}  // namespace
}  // namespace EngineTest
