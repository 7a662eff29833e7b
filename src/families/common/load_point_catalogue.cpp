#include "families/common/load_point_catalogue.h"

#include <array>
#include <vector>

#include "families/common/location_families.h"
#include "families/settings/system_settings.h"
#include "intake/brumevale_event.h"
#include "platform/scoped_handle.h"
#include "util/registry_readers.h"
#include "util/registry_text.h"

using Intake::BrumevaleRegistryEvent;
using Intake::RegistryKeyPath;
using enum Intake::LoadPointType;
using enum Intake::MatcherCode;
using enum Intake::RegistryRootKind;

namespace Families {

namespace {

// The families' declarations indexed by code and by type, made once.
struct CatalogueIndex {
  std::array<const LocationDeclaration*, kLastMatcherCode + 1> codes{};
  std::array<const TypeDeclaration*, kLastLoadPointType + 1> types{};
  std::array<uint32_t, kLastMatcherCode + 1> settings{};
  std::array<const ScanLocation*, kLastMatcherCode + 1> classScans{};
};

CatalogueIndex MakeIndex() {
  CatalogueIndex index;
  for (const FamilyDeclarations& family : LoadPointFamilies()) {
    for (const LocationDeclaration& location : family.locations) index.codes[location.code] = &location;
    for (const TypeDeclaration& type : family.types) index.types[type.type] = &type;
    for (const ScanStepDeclaration& step : family.scanSteps) {
      for (const ScanLocation& location : step.step.locations) {
        if (location.classFrom != ClassFrom::kNone) index.classScans[location.matcherCode] = &location;
      }
    }
  }
  for (const SystemSettingDefinition& setting : SystemSettingTable()) {
    if (setting.matcherCode != 0) index.settings[setting.matcherCode] = setting.type;
  }
  return index;
}

const CatalogueIndex& Index() {
  static const CatalogueIndex index = MakeIndex();
  return index;
}

const TypeDeclaration* FindType(uint32_t type) {
  return type <= kLastLoadPointType ? Index().types[type] : nullptr;
}

// The components of the event's key path counted from the end (1: the last); empty
// when the path is shorter.
std::u16string ComponentFromEnd(const RegistryKeyPath& path, size_t fromEnd) {
  const size_t count = path.ComponentCount();
  return count >= fromEnd ? path.Component(count - fromEnd) : std::u16string();
}

// A class watch sits on the class's InProcServer32 key, so the class is the
// component before the last; its default value is the name people know it by,
// whichever string type it was written with (an expandable string is not expanded,
// a multi-string gives its first string). A departure from the documented 2048-byte
// buffer, in which a longer name read as none: the value is read whole.
std::u16string ClassFriendlyName(Platform::System& system, const RegistryKeyPath& path,
                                 bool wow64) {
  const std::u16string prefix =
      wow64 ? u"SOFTWARE\\Wow6432Node\\Classes\\CLSID\\" : u"SOFTWARE\\Classes\\CLSID\\";
  Platform::Registry& registry = system.Registry();
  Platform::ScopedKey key;
  if (registry.OpenKey(Platform::kHkeyLocalMachine, prefix + ComponentFromEnd(path, 2),
                       Platform::kKeyRead, key.Receive(registry)) != Platform::kErrorSuccess) {
    return {};
  }
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (VyrUtilities::QueryValueWhole(registry, key.Get(), u"", &type, &data) !=
          Platform::kErrorSuccess ||
      (type != Platform::kRegSz && type != Platform::kRegExpandSz && type != Platform::kRegMultiSz)) {
    return {};
  }
  return VyrUtilities::CountedText(data.data(), data.size());
}

}  // namespace

const LocationDeclaration* FindLocationDeclaration(uint32_t matcherCode) {
  return matcherCode <= kLastMatcherCode ? Index().codes[matcherCode] : nullptr;
}

const ScanLocation* FindClassScanLocation(uint32_t matcherCode) {
  return matcherCode <= kLastMatcherCode ? Index().classScans[matcherCode] : nullptr;
}

uint32_t LoadPointTypeOf(uint32_t matcherCode) {
  const LocationDeclaration* location = FindLocationDeclaration(matcherCode);
  return location != nullptr ? static_cast<uint32_t>(location->type) : 0u;
}

std::u16string LoadPointEntryName(Platform::System& system, const BrumevaleRegistryEvent& event) {
  const LocationDeclaration* location = FindLocationDeclaration(event.MatcherCode());
  if (location == nullptr) return {};
  const NameRule rule = location->name;
  const RegistryKeyPath& path = event.KeyPath();
  const bool classWatch = event.ExtraNumber() > 0;
  switch (rule) {
    case NameRule::kValue: return event.ValueName();
    case NameRule::kLast: return ComponentFromEnd(path, 1);
    case NameRule::kParent: return ComponentFromEnd(path, 2);
    case NameRule::kClassValue:
    case NameRule::kClassValue32:
      if (!classWatch) return event.ValueName();
      return ClassFriendlyName(system, path, rule == NameRule::kClassValue32);
    case NameRule::kClassLast:
    case NameRule::kClassLast32:
      if (!classWatch) return ComponentFromEnd(path, 1);
      return ClassFriendlyName(system, path, rule == NameRule::kClassLast32);
    case NameRule::kNone: break;
  }
  return {};
}

std::u16string LoadPointUserId(const BrumevaleRegistryEvent& event) {
  const LocationDeclaration* location = FindLocationDeclaration(event.MatcherCode());
  if (location == nullptr) return {};
  const RegistryKeyPath& path = event.KeyPath();
  switch (location->user) {
    case UserRule::kSid: return path.Root() == kRootMachine ? std::u16string() : path.Sid();
    case UserRule::kControlSet:
      return path.ComponentCount() >= 2 ? path.Component(1) : std::u16string();
    case UserRule::kNoUser: break;
  }
  return {};
}

bool IsControlSetType(uint32_t type) {
  const TypeDeclaration* declaration = FindType(type);
  return declaration != nullptr && declaration->controlSet;
}

int32_t LoadPointKeyDepth(uint32_t code) {
  const LocationDeclaration* location = FindLocationDeclaration(code);
  return location != nullptr ? location->depth : kKeyDepthValue;
}

uint32_t SystemSettingTypeOf(uint32_t matcherCode) {
  return matcherCode <= kLastMatcherCode ? Index().settings[matcherCode] : 0;
}

std::u16string LoadPointTypeDisplayName(uint32_t type) {
  const TypeDeclaration* declaration = FindType(type);
  return declaration != nullptr ? std::u16string(declaration->name) : u"Unknown";
}

}  // namespace Families
