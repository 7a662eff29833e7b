#include "families/settings/system_settings.h"

#include "database/load_point_database.h"
#include "database/row_readers.h"
#include "families/common/class_indirection.h"
#include "families/services/service_scan.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "platform/scoped_handle.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

using Database::LoadPointDatabase;
using Database::SystemSettingRows;
using Ledger::LedgerContext;
using Ledger::OpenLoadPointDatabase;
using Ledger::RecordChangeEvent;

namespace Families {

namespace {

using enum SettingScope;
using enum SettingReadAs;

constexpr char16_t kPoliciesSystem[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr char16_t kPoliciesExplorer[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr char16_t kSecurityCenter[] = u"SOFTWARE\\Microsoft\\Security Center";
constexpr char16_t kProductKey[] = u"SOFTWARE\\Kelvra Security\\Brumevale";
constexpr char16_t kDriverSigning[] = u"SOFTWARE\\Microsoft\\Driver Signing";
constexpr char16_t kDriverSigningPolicy[] = u"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Driver Signing";
constexpr char16_t kShellFolders[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The settings through which a program can weaken the machine or hide itself. The
// row's position is its TYPE minus 1; the periodic check reads them in this order.
constexpr SystemSettingDefinition kSettings[] = {
    // TYPE, scope, key, value, read as, matcher code (0: none), read periodically
    {1, kUser, kPoliciesSystem, u"DisableRegistryTools", kDword, 76, true},
    {2, kUser, kPoliciesSystem, u"DisableTaskMgr", kDword, 77, true},
    {3, kUser, kPoliciesSystem, u"NoRun", kDword, 78, true},
    {4, kUser, kPoliciesSystem, u"NoDispCPL", kDword, 79, true},
    {5, kUser, kPoliciesSystem, u"NoDispBackgroundPage", kDword, 80, true},
    {6, kUser, kPoliciesSystem, u"NoDisplScrSavPage", kDword, 81, true},
    {7, kUser, kPoliciesSystem, u"NoDispAppearancePage", kDword, 82, true},
    {8, kUser, kPoliciesSystem, u"NoDispSettingsPage", kDword, 83, true},
    {9, kUser, kPoliciesExplorer, u"NoDriveTypeAutoRun", kDword, 84, true},
    {10, kMachine, kSecurityCenter, u"AntiVirusOverride", kDword, 85, true},
    {11, kMachine, kSecurityCenter, u"AntiVirusDisableNotify", kDword, 86, true},
    {12, kMachine, kSecurityCenter, u"FirewallOverride", kDword, 87, true},
    {13, kMachine, kSecurityCenter, u"FirewallDisableNotify", kDword, 88, true},
    {14, kMachine, kProductKey, u"GuardProfile", kDword, 89, true},
    {15, kMachine, kDriverSigning, u"Policy", kDword, 0, true},
    {16, kUser, kDriverSigningPolicy, u"BehaviorOnFailedVerify", kDword, 0, true},
    {17, kMachine, kProductKey, u"pavil_uid", kAsReported, 90, false},
    {18, kMachine, kProductKey, u"pavil_access", kAsReported, 91, false},
    {19, kMachine, kShellFolders, u"Common Startup", kString, 92, true},
    {20, kUser, kShellFolders, u"Startup", kString, 93, true},
};

// A 32-bit value as signed decimal (4294967295 is "-1"), a string as its text; an
// absent or unreadable value, or one of another type, is the empty text.
std::u16string ReadSettingText(Platform::System& system, Platform::Handle root,
                               const SystemSettingDefinition& setting) {
  uint32_t number = 0;
  std::u16string text;
  if (setting.readAs != kString &&
      VyrUtilities::ReadRegistryDword(system, root, setting.keyPath, setting.valueName, number)) {
    return VyrUtilities::IntToText(static_cast<int32_t>(number), 10);
  }
  if (setting.readAs != kDword &&
      VyrUtilities::ReadRegistryString(system, root, setting.keyPath, setting.valueName, text)) {
    return text;
  }
  return u"";
}

void CheckScope(LedgerContext& context, Platform::Handle root, SettingScope scope,
                const std::u16string& userId) {
  for (const SystemSettingDefinition& setting : kSettings) {
    if (setting.scope != scope || !setting.periodic) continue;
    ReconcileSystemSetting(context, setting.type, setting.keyPath,
                           ReadSettingText(context.System(), root, setting), userId);
  }
}

}  // namespace

std::span<const SystemSettingDefinition> SystemSettingTable() { return kSettings; }

const SystemSettingDefinition* FindSystemSettingDefinition(uint32_t type) {
  if (type < 1 || type > std::size(kSettings)) return nullptr;
  return &kSettings[type - 1];
}

int32_t ReconcileSystemSetting(LedgerContext& context, uint32_t type, const std::u16string& path,
                               const std::u16string& valueText, const std::u16string& userId) {
  LoadPointDatabase* database = OpenLoadPointDatabase(context);
  if (database == nullptr) return 0;
  SystemSettingRows rows;
  database->FindSystemSetting(static_cast<int32_t>(type), userId, rows);
  if (rows.HasRows()) {
    if (VyrUtilities::EqualsIgnoreCase(rows.CURRENT_VALUE(0), valueText)) return 0;
    database->UpdateSystemSettingEntry(rows.KEY(0), valueText);
    return rows.KEY(0);
  }
  int32_t key = database->AddSystemSetting(static_cast<int32_t>(type), userId, path, valueText);
  return key > 0 ? key : 0;
}

void CheckSystemSettings(LedgerContext& context) {
  CheckUserSettings(context);
  CheckMachineSettings(context);
  // Written on every run: the history then shows when the settings were last looked
  // at, not only when one of them changed.
  RecordChangeEvent(context, u"", 0, 0, 9, nullptr);
}

void CheckMachineSettings(LedgerContext& context) {
  CheckScope(context, Platform::kHkeyLocalMachine, kMachine, u"");
}

void CheckUserSettings(LedgerContext& context) {
  Platform::Registry& registry = context.System().Registry();
  for (const std::u16string& sid : context.UserHives()) {
    Platform::ScopedKey hive;
    if (registry.OpenKey(Platform::kHkeyUsers, sid, Platform::kKeyRead, hive.Receive(registry)) !=
        Platform::kErrorSuccess) {
      continue;
    }
    CheckScope(context, hive.Get(), kUser, sid);
  }
}

}  // namespace Families
