// What can only be checked across the families' declarations: that the codes and
// types they declare are each declared once, named, watched, scanned and handled, and
// that each location's naming rules fit the key it watches, tried with real events
// through the matcher the engine builds from the same declarations.

#include <map>
#include <set>
#include <tuple>

#include "engine/registry_event_matcher.h"
#include "engine/scanner_table.h"
#include "families/common/load_point_catalogue.h"
#include "families/common/location_families.h"
#include "families/file_extensions/file_extensions.h"
#include "families/settings/system_settings.h"
#include "intake/brumevale_event.h"
#include "support/engine_fixture.h"
#include "util/text_routines.h"

using Engine::BuildRegistryWatchTable;
using Engine::Match;
using Engine::RegistryEventMatcher;
using Engine::ScannerTable;
using Families::ClassFrom;
using Families::FamilyDeclarations;
using Families::FileExtensionWatches;
using Families::FindClassScanLocation;
using Families::FolderDeclaration;
using Families::FolderPlace;
using Families::IsControlSetType;
using Families::LoadPointEntryName;
using Families::LoadPointFamilies;
using Families::LoadPointKeyDepth;
using Families::LoadPointTypeDisplayName;
using Families::LoadPointTypeOf;
using Families::LoadPointUserId;
using Families::LocationDeclaration;
using Families::ScanLocation;
using Families::ScanScope;
using Families::ScanStepDeclaration;
using Families::ScannerStep;
using Families::SettingScope;
using Families::StepWatch;
using Families::SystemSettingDefinition;
using Families::SystemSettingTable;
using Families::SystemSettingTypeOf;
using Families::TypeDeclaration;
using Families::WatchedValue;
using Families::kKeyDepthValue;
using Intake::BrumevaleRegistryEvent;
using Intake::MatcherCode;
using Intake::kOpRegistryValueSet;
using enum Intake::LoadPointType;
using enum Intake::MatcherCode;
using enum Intake::RegistryRootKind;

namespace EngineTest {
namespace {

// Every watched row of the service: the families', the settings', the file
// extensions'. The download-tracking key is the tracker's alone.
std::vector<WatchedValue> EveryWatchedRow() {
  std::vector<WatchedValue> rows;
  for (const FamilyDeclarations& family : LoadPointFamilies()) {
    rows.insert(rows.end(), family.watched.begin(), family.watched.end());
  }
  for (const SystemSettingDefinition& setting : SystemSettingTable()) {
    if (setting.matcherCode == 0) continue;
    rows.push_back({static_cast<MatcherCode>(setting.matcherCode),
                    setting.scope == SettingScope::kUser ? kRootUser : kRootMachine,
                    setting.keyPath, setting.valueName});
  }
  for (const WatchedValue& row : FileExtensionWatches()) rows.push_back(row);
  return rows;
}

TEST(LocationDeclarations, EveryCodeIsDeclaredOnceAndEveryWatchedOneIsHandled) {
  std::map<uint32_t, std::u16string_view> owner;
  std::set<uint32_t> handled;
  for (const FamilyDeclarations& family : LoadPointFamilies()) {
    for (const LocationDeclaration& location : family.locations) {
      EXPECT_TRUE(owner.emplace(location.code, family.family).second)
          << location.code << " declared again";
      EXPECT_GE(location.code, 1u);
      EXPECT_LE(location.code, kLastMatcherCode);
      if (location.handler != nullptr) handled.insert(location.code);
    }
  }
  for (const SystemSettingDefinition& setting : SystemSettingTable()) {
    if (setting.matcherCode != 0) {
      EXPECT_TRUE(owner.emplace(setting.matcherCode, u"settings").second) << setting.matcherCode;
      EXPECT_NE(SystemSettingTypeOf(setting.matcherCode), 0u);
    }
  }
  for (uint32_t code = kExtensionDefaultCode; code <= kVerbCommandCode; ++code) {
    EXPECT_TRUE(owner.emplace(code, u"file extensions").second) << code;
  }
  EXPECT_TRUE(owner.emplace(kDownloadTrackingCode, u"downloads").second);
  EXPECT_EQ(owner.size(), size_t{kLastMatcherCode});  // 1 to 97, none left out

  // A load-point code that is watched goes to a live handler; one that is not is a
  // folder, whose events are files.
  std::set<uint32_t> watched;
  for (const WatchedValue& row : EveryWatchedRow()) watched.insert(row.code);
  for (const auto& [code, family] : owner) {
    if (LoadPointTypeOf(code) == 0) continue;
    SCOPED_TRACE(code);
    EXPECT_EQ(watched.count(code) != 0, handled.count(code) != 0);
  }
  // Each folder is declared once, by the family that declares its code, with no
  // registry handler; the codes watched nowhere are exactly the folders'.
  std::set<uint32_t> folders;
  for (const FamilyDeclarations& family : LoadPointFamilies()) {
    for (const FolderDeclaration& folder : family.folders) {
      SCOPED_TRACE(folder.code);
      EXPECT_TRUE(folders.insert(folder.code).second);
      EXPECT_EQ(owner[folder.code], family.family);
      EXPECT_EQ(handled.count(folder.code), 0u);
      EXPECT_EQ(watched.count(folder.code), 0u);
      EXPECT_EQ(folder.place == FolderPlace::kEachProfile, folder.csidl == 0);
    }
  }
  EXPECT_EQ(folders, (std::set<uint32_t>{kCommonStartupFolderCode, kUserStartupFolderCode,
                                         kTasksFolderCode, kTasksFolderWow64Code}));
  EXPECT_EQ(owner.size() - watched.size() - 1, folders.size());  // 1: the download key
}

// No two rows watch one value of one key: the order in which the engine takes the
// families' rows then never decides which of two events is handled first.
TEST(LocationDeclarations, NoTwoRowsWatchOneValue) {
  std::set<std::tuple<uint32_t, std::u16string, std::u16string, bool>> seen;
  for (const WatchedValue& row : EveryWatchedRow()) {
    const auto key = std::make_tuple(static_cast<uint32_t>(row.root),
                                     VyrUtilities::ToLower(row.keyPath),
                                     VyrUtilities::ToLower(row.valueName),
                                     row.anyValue);
    EXPECT_TRUE(seen.insert(key).second) << row.code;
  }
}

// Every type is declared once, by a family one of whose locations has it, with a
// name of its own; and every type the rescan or a location gives is declared.
TEST(LocationDeclarations, EveryTypeIsNamedScannedAndWatched) {
  std::set<uint32_t> declared;
  std::set<std::u16string> names;
  std::set<uint32_t> ofLocations;
  std::set<uint32_t> watchedTypes;
  for (const FamilyDeclarations& family : LoadPointFamilies()) {
    for (const TypeDeclaration& type : family.types) {
      EXPECT_TRUE(declared.insert(type.type).second) << type.type;
      EXPECT_FALSE(type.name.empty()) << type.type;
      EXPECT_TRUE(names.emplace(type.name).second) << type.type;
      EXPECT_EQ(LoadPointTypeDisplayName(type.type), type.name);
    }
    for (const LocationDeclaration& location : family.locations) {
      ofLocations.insert(location.type);
      if (location.handler != nullptr) watchedTypes.insert(location.type);
    }
  }
  EXPECT_EQ(declared.size(), size_t{kLastLoadPointType});
  EXPECT_EQ(LoadPointTypeDisplayName(0), u"Unknown");
  EXPECT_EQ(LoadPointTypeDisplayName(kLastLoadPointType + 1), u"Unknown");

  // Types no location gives: the service handler and the rescan tell a driver from a
  // service by its Type value; a service DLL has been stored as its service since the
  // start and the type survives for old rows only.
  const std::set<uint32_t> notOfALocation = {kDriverType, kServiceDllType};
  for (uint32_t type : declared) {
    EXPECT_EQ(ofLocations.count(type) == 0, notOfALocation.count(type) != 0) << type;
  }
  // Types the rescan reads by a whole-family step rather than a location of the
  // table; the folder types are watched as files, not registry values.
  std::set<uint32_t> scanned = {kServiceType, kDriverType, kNetworkProviderType,
                                kBrowserHelperType, kBrowserHelperWow64Type, kNativeTaskType,
                                kWow64TaskType, kCommonStartupType, kUserStartupType};
  for (const ScannerStep& step : ScannerTable()) {
    for (const ScanLocation& location : step.locations) {
      EXPECT_EQ(declared.count(location.type), 1u) << location.type;
      // A class the rescan follows is watched by a code of the same type.
      if (location.matcherCode != 0) {
        EXPECT_EQ(LoadPointTypeOf(location.matcherCode), location.type) << location.matcherCode;
      }
      scanned.insert(location.type);
    }
  }
  watchedTypes.insert({kCommonStartupType, kUserStartupType});
  for (uint32_t type : declared) {
    SCOPED_TRACE(type);
    EXPECT_EQ(scanned.count(type) != 0 || type == kServiceDllType, true);
    EXPECT_EQ(watchedTypes.count(type) != 0 || notOfALocation.count(type) != 0, true);
  }
}

// The rescan takes the families' steps by rank: each rank once, none missing, so no
// two steps' order is left to the order of the families.
TEST(LocationDeclarations, ScanStepRanksAreUniqueAndComplete) {
  std::set<int32_t> ranks;
  for (const FamilyDeclarations& family : LoadPointFamilies()) {
    for (const ScanStepDeclaration& step : family.scanSteps) {
      EXPECT_TRUE(ranks.insert(step.rank).second) << step.rank;
    }
  }
  ASSERT_FALSE(ranks.empty());
  EXPECT_EQ(*ranks.begin(), 1);
  EXPECT_EQ(*ranks.rbegin(), static_cast<int32_t>(ranks.size()));
  EXPECT_EQ(ScannerTable().size(), ranks.size());
}

// A live event finds where its entry names a class from the scan row of its code;
// rows of one code must agree on that, and the code must be a location of the
// row's own type.
TEST(LocationDeclarations, ClassNamingScanRowsAgreeWithTheirCode) {
  std::map<uint32_t, std::pair<ClassFrom, bool>> classes;
  for (const FamilyDeclarations& family : LoadPointFamilies()) {
    for (const ScanStepDeclaration& step : family.scanSteps) {
      for (const ScanLocation& location : step.step.locations) {
        if (location.classFrom == ClassFrom::kNone) continue;
        const auto [found, added] = classes.emplace(
            location.matcherCode, std::make_pair(location.classFrom, location.wow64));
        EXPECT_TRUE(added || found->second == std::make_pair(location.classFrom, location.wow64))
            << location.matcherCode;
        EXPECT_EQ(LoadPointTypeOf(location.matcherCode), location.type) << location.matcherCode;
        EXPECT_EQ(FindClassScanLocation(location.matcherCode)->classFrom, location.classFrom);
      }
    }
  }
  EXPECT_FALSE(classes.empty());
}

// Without the driver, a change below a key re-reads what the step watching it names.
// A step that reads a whole family at once is re-read through a key some step of its
// family declares (helper objects keep their own watchers, folders are watched as
// folders), and the rows a re-read covers are of its family's own types.
TEST(LocationDeclarations, EveryWholeFamilyStepIsReReadByItsFamilysKeys) {
  for (const FamilyDeclarations& family : LoadPointFamilies()) {
    std::set<ScanScope> reread;
    std::set<uint32_t> types;
    for (const TypeDeclaration& type : family.types) types.insert(type.type);
    for (const ScanStepDeclaration& step : family.scanSteps) {
      for (const StepWatch& watch : step.step.watches) {
        reread.insert(watch.reread);
        EXPECT_FALSE(watch.types.empty());
        for (uint32_t type : watch.types) EXPECT_EQ(types.count(type), 1u) << type;
      }
    }
    for (const ScanStepDeclaration& step : family.scanSteps) {
      const ScanScope scope = step.step.scope;
      if (!step.step.locations.empty() || scope == ScanScope::kBrowserHelperObjects ||
          scope == ScanScope::kStartupFolders) {
        continue;
      }
      EXPECT_EQ(reread.count(scope), 1u) << step.rank;
    }
  }
}

constexpr char16_t kSid[] = u"S-1-5-21-1-2-3-1001";

// The watched key with every "*" made a name: the control set below SYSTEM, else the
// entry's own name.
std::u16string ConcreteKey(std::u16string_view pattern, std::vector<std::u16string>& parts) {
  std::u16string key;
  size_t start = 0;
  while (start <= pattern.size()) {
    const size_t end = std::min(pattern.find(u'\\', start), pattern.size());
    std::u16string part(pattern.substr(start, end - start));
    if (part == u"*") part = parts.size() == 1 && parts[0] == u"SYSTEM" ? u"ControlSet003" : u"Entry" + std::u16string(1, char16_t(u'A' + parts.size()));
    parts.push_back(part);
    key += (key.empty() ? u"" : u"\\") + part;
    start = end + 1;
  }
  return key;
}

class LocationEvents : public EngineMachine {
 protected:
  LocationEvents() { BuildRegistryWatchTable(matcher_); }
  RegistryEventMatcher matcher_;
};

// A value written at every watched location reaches its code, and the catalogue names
// the entry and its user from the key as the location's key says: by the wildcard
// component that stands for the entry when there is one, else by the value; by the
// control set below SYSTEM, the SID in a user's hive, no one on the machine. A key
// deletion's depth points at the entry's own key.
TEST_F(LocationEvents, EveryLocationNamesItsEntryAndUserFromTheKeyItWatches) {
  for (const FamilyDeclarations& family : LoadPointFamilies()) {
    for (const WatchedValue& row : family.watched) {
      SCOPED_TRACE(testing::Message() << "code " << row.code);
      std::vector<std::u16string> parts;
      const std::u16string key = ConcreteKey(row.keyPath, parts);
      const bool user = row.root == kRootUser;
      const std::u16string native =
          (user ? u"\\REGISTRY\\USER\\" + std::u16string(kSid) + u"\\" : u"\\REGISTRY\\MACHINE\\") + key;
      const std::u16string value = row.anyValue ? u"Some value" : std::u16string(row.valueName);
      std::vector<std::unique_ptr<BrumevaleRegistryEvent>> events;
      Match(matcher_, *MakeRegistryEntry(system_, kOpRegistryValueSet, native, value), events);
      const BrumevaleRegistryEvent* event = nullptr;
      for (const auto& candidate : events) {
        if (candidate->MatcherCode() == row.code) event = candidate.get();
      }
      ASSERT_NE(event, nullptr);

      const bool perControlSet = parts.size() > 1 && parts[1] == u"ControlSet003";
      EXPECT_EQ(LoadPointUserId(*event), user ? kSid : perControlSet ? u"ControlSet003" : u"");
      EXPECT_EQ(IsControlSetType(LoadPointTypeOf(row.code)), perControlSet);

      // The entry: the last wildcard component (not the control set), else the value.
      std::u16string entry = value;
      size_t entryDepth = 0;
      for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].starts_with(u"Entry")) { entry = parts[i]; entryDepth = i + 1; }
      }
      if (row.code == kProviderOrderCode) entry = u"";  // the order lists providers, names none
      EXPECT_EQ(LoadPointEntryName(system_, *event), entry);
      const int32_t depth = LoadPointKeyDepth(row.code);
      if (depth > 0) {
        EXPECT_EQ(static_cast<size_t>(depth), entryDepth);
      }
      if (entryDepth == 0) {
        EXPECT_EQ(depth, kKeyDepthValue);
      }
    }
  }
}

}  // namespace
}  // namespace EngineTest
