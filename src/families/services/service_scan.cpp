#include "families/services/service_scan.h"

#include <set>
#include <vector>

#include "families/common/class_indirection.h"
#include "families/common/scan_rules.h"
#include "families/services/service_scan.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/load_point_state.h"
#include "ledger/rescan_pass.h"
#include "platform/scoped_handle.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

using enum Intake::LoadPointType;
using Ledger::FullScanStopping;
using Ledger::LedgerContext;
using Ledger::NoteDisabledInScan;
using Ledger::ReconcileLoadPoint;
using Ledger::Reconciled;

namespace Families {

namespace {

// Bits 0 and 1 of "Type": kernel driver, file-system driver.
constexpr uint32_t kDriverTypeBits = 0x3;
// "Start" 0 boot, 1 system, 2 automatic; demand-started and disabled ones never
// start on their own, so they are no load points.
constexpr uint32_t kLastAutoStart = 2;
constexpr uint32_t kDisabledStart = 4;

std::u16string ControlSetPath(const std::u16string& controlSet, std::u16string_view below) {
  return u"SYSTEM\\" + controlSet + u"\\" + std::u16string(below);
}

// The COMMAND_LINE of the service in key; false when it is no load point.
bool ServiceCommandLine(LedgerContext& context, Platform::Handle key,
                        const std::u16string& serviceName, uint32_t serviceType,
                        uint32_t& lpType, std::u16string& commandLine) {
  Platform::System& system = context.System();
  uint32_t wow64 = 0;
  if (!VyrUtilities::ReadRegistryDword(system, key, u"WOW64", wow64)) wow64 = 0;
  std::u16string imagePath;
  if (!VyrUtilities::ReadRegistryString(system, key, u"ImagePath", imagePath)) return false;
  if ((serviceType & kDriverTypeBits) != 0) {
    lpType = kDriverType;
    commandLine = imagePath;
    return true;
  }
  lpType = kServiceType;
  if (IsServiceHostMember(context, serviceName, imagePath, wow64 == 1) == 1) {
    // A hosted service runs its library; without one there is nothing to record.
    return VyrUtilities::ReadRegistryString(system, key, u"Parameters", u"ServiceDll",
                                            commandLine);
  }
  commandLine = imagePath;
  return true;
}

}  // namespace

int32_t ScanService(LedgerContext& context, const std::u16string& controlSet,
                    const std::u16string& serviceName, int32_t* outKey) {
  Platform::System& system = context.System();
  Platform::Registry& registry = system.Registry();
  Platform::ScopedKey key;
  if (registry.OpenKey(Platform::kHkeyLocalMachine,
                       ControlSetPath(controlSet, u"Services\\" + serviceName),
                       Platform::kKeyRead, key.Receive(registry)) != Platform::kErrorSuccess) {
    return 0;
  }
  uint32_t serviceType = 0;
  uint32_t start = 0;
  if (!VyrUtilities::ReadRegistryDword(system, key.Get(), u"Type", serviceType) ||
      !VyrUtilities::ReadRegistryDword(system, key.Get(), u"Start", start)) {
    return 0;
  }
  std::u16string displayName;
  if (!VyrUtilities::ReadRegistryString(system, key.Get(), u"DisplayName", displayName)) {
    displayName.clear();
  }
  if (start == kDisabledStart) {
    // Its row, if it had one, goes at the scan's end, marked as a disable.
    NoteDisabledInScan(context.ScanState(),
                       (serviceType & kDriverTypeBits) != 0 ? kDriverType : kServiceType,
                       controlSet, serviceName);
  }
  if (start > kLastAutoStart) return 0;
  uint32_t lpType = 0;
  std::u16string commandLine;
  if (!ServiceCommandLine(context, key.Get(), serviceName, serviceType, lpType, commandLine)) {
    return 0;
  }
  ReconcileLoadPoint(context, lpType, controlSet, serviceName, commandLine, displayName, outKey);
  return 1;
}

void ScanControlSetServices(LedgerContext& context, const std::u16string& controlSet) {
  Platform::System& system = context.System();
  Platform::Registry& registry = system.Registry();
  Platform::ScopedKey key;
  if (registry.OpenKey(Platform::kHkeyLocalMachine, ControlSetPath(controlSet, u"Services"),
                       Platform::kKeyRead, key.Receive(registry)) != Platform::kErrorSuccess) {
    return;
  }
  for (const std::u16string& name : SubkeyNames(system, key.Get())) {
    if (FullScanStopping(context)) return;
    ScanService(context, controlSet, name, nullptr);
  }
}

void ScanNetworkProviders(LedgerContext& context, const std::u16string& controlSet) {
  std::u16string order;
  if (!VyrUtilities::ReadRegistryString(context.System(), Platform::kHkeyLocalMachine,
                                        ControlSetPath(controlSet, u"Control\\NetworkProvider\\Order"),
                                        u"ProviderOrder", order)) {
    return;
  }
  ReconcileNetworkProviders(context, controlSet, order, nullptr, nullptr);
}

void ReconcileNetworkProviders(LedgerContext& context, const std::u16string& controlSet,
                               const std::u16string& order, std::vector<int32_t>* newKeys,
                               std::set<int32_t>* seenKeys) {
  Platform::System& system = context.System();
  std::vector<std::u16string> names;
  VyrUtilities::Split(order, u',', names);
  for (const std::u16string& piece : names) {
    if (FullScanStopping(context)) return;
    const std::u16string name = VyrUtilities::Trim(piece);
    if (name.empty()) continue;
    const std::u16string providerKey =
        ControlSetPath(controlSet, u"Services\\" + name + u"\\NetworkProvider");
    std::u16string providerPath;
    std::u16string displayName;
    if (!VyrUtilities::ReadRegistryString(system, Platform::kHkeyLocalMachine, providerKey,
                                          u"ProviderPath", providerPath)) {
      providerPath.clear();
    }
    if (!VyrUtilities::ReadRegistryString(system, Platform::kHkeyLocalMachine, providerKey,
                                          u"Name", displayName)) {
      displayName.clear();
    }
    int32_t key = 0;
    const Reconciled result = ReconcileLoadPoint(context, kNetworkProviderType, controlSet, name,
                                              providerPath, displayName, &key);
    if (key < 1) continue;
    if (result == Reconciled::kAdded && newKeys != nullptr) newKeys->push_back(key);
    if (seenKeys != nullptr) seenKeys->insert(key);
  }
}

}  // namespace Families
