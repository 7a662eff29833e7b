// The registry locations watched from the start, built from the declarations of the
// families: their load-point locations, the settings that a registry event reports,
// the command of executable files and the download-tracking key. No two of them watch
// one value of one key, so the order in which they are added never decides the order
// of the events a change makes (the matcher orders those by key and value).

#include "engine/registry_event_matcher.h"
#include "families/common/location_families.h"
#include "families/file_extensions/file_extensions.h"
#include "families/settings/system_settings.h"

using Families::FamilyDeclarations;
using Families::FileExtensionWatches;
using Families::LoadPointFamilies;
using Families::SettingScope;
using Families::SystemSettingDefinition;
using Families::SystemSettingTable;
using Families::WatchedValue;
using Intake::MatcherCode;
using Intake::RegistryKeyPath;
using Intake::RegistryRootKind;
using enum Intake::MatcherCode;
using enum Intake::RegistryRootKind;

namespace Engine {

namespace {

void AddWatch(RegistryEventMatcher& matcher, const WatchedValue& watched) {
  RegistryKeyPath path;
  path.Assign(watched.root, u"", watched.keyPath, 1);
  AddValueWatch(matcher, path, watched.valueName, watched.code, watched.anyValue ? 0 : 1, 0);
}

void AddSettingWatches(RegistryEventMatcher& matcher) {
  for (const SystemSettingDefinition& setting : SystemSettingTable()) {
    if (setting.matcherCode == 0) continue;
    const RegistryRootKind root = setting.scope == SettingScope::kUser ? kRootUser : kRootMachine;
    AddWatch(matcher, {static_cast<MatcherCode>(setting.matcherCode), root, setting.keyPath,
                       setting.valueName});
  }
}

}  // namespace

void BuildRegistryWatchTable(RegistryEventMatcher& matcher) {
  for (const FamilyDeclarations& family : LoadPointFamilies()) {
    for (const WatchedValue& watched : family.watched) AddWatch(matcher, watched);
  }
  AddSettingWatches(matcher);
  for (const WatchedValue& watched : FileExtensionWatches()) AddWatch(matcher, watched);
  AddWatch(matcher, {kDownloadTrackingCode, kRootUser,
                     u"SOFTWARE\\Kelvra Security\\Brumevale\\URLTracker", u"", true});
}

}  // namespace Engine
