#include "engine/scanner_table.h"

#include <algorithm>
#include <vector>

#include "engine/load_point_engine.h"
#include "families/common/location_families.h"
#include "families/common/scan_rules.h"
#include "families/winsock/winsock_catalog.h"

using Families::FamilyDeclarations;
using Families::LoadPointFamilies;
using Families::ScanBrowserExtensions;
using Families::ScanKeyValues;
using Families::ScanLocation;
using Families::ScanNamedValue;
using Families::ScanProtocolCatalog;
using Families::ScanStepDeclaration;
using Families::ScanSubkeyValues;
using Families::ScanValueList;
using Families::ScannerStep;

namespace Engine {

namespace {

using enum Families::ReadAs;

// The families' steps in the order of their ranks.
std::vector<ScannerStep> CollectSteps() {
  std::vector<ScanStepDeclaration> declared;
  for (const FamilyDeclarations& family : LoadPointFamilies()) {
    declared.insert(declared.end(), family.scanSteps.begin(), family.scanSteps.end());
  }
  std::sort(declared.begin(), declared.end(),
            [](const ScanStepDeclaration& a, const ScanStepDeclaration& b) { return a.rank < b.rank; });
  std::vector<ScannerStep> steps;
  for (const ScanStepDeclaration& step : declared) steps.push_back(step.step);
  return steps;
}

}  // namespace

std::span<const ScannerStep> ScannerTable() {
  static const std::vector<ScannerStep> steps = CollectSteps();
  return steps;
}

std::u16string Wow64Path(std::u16string_view path) {
  const size_t firstSeparator = path.find(u'\\');
  if (firstSeparator == std::u16string_view::npos) return std::u16string(path) + u"\\Wow6432Node";
  std::u16string result(path.substr(0, firstSeparator + 1));
  result += u"Wow6432Node\\";
  result += path.substr(firstSeparator + 1);
  return result;
}

int32_t ScanLocationEntries(LoadPointEngine& engine, const ScanLocation& location,
                            Platform::Handle root, const std::u16string& keyPath,
                            const std::u16string& userId) {
  switch (location.readAs) {
    case kValues:
      ScanKeyValues(engine, root, keyPath, location.type, userId);
      return 0;
    case kNamedValue:
      ScanNamedValue(engine, root, keyPath, location.value, location.type, userId);
      return 0;
    case kList:
      ScanValueList(engine, root, keyPath, location.value, location.type, userId);
      return 0;
    case kSubkeys:
      ScanSubkeyValues(engine, root, keyPath, location.value, location.display, location.type,
                       userId);
      return 0;
    case kExtensions:
      return ScanBrowserExtensions(engine, root, keyPath, location.type, userId);
    case kProtocolCatalog:
      ScanProtocolCatalog(engine, root, keyPath, location.type, userId);
      return 0;
  }
  return 0;
}

}  // namespace Engine
