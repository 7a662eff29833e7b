#pragma once
// The policy and shell settings kept in the SystemSetting table: one row per setting
// and user (or one for the machine), refreshed after every full rescan.

#include <cstdint>
#include <span>
#include <string>

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

enum class SettingScope { kUser, kMachine };
enum class SettingReadAs { kDword, kString, kAsReported };

struct SystemSettingDefinition {
  uint32_t type;
  SettingScope scope;
  const char16_t* keyPath;  // below HKEY_USERS\<SID> or HKEY_LOCAL_MACHINE
  const char16_t* valueName;
  SettingReadAs readAs;
  uint32_t matcherCode;  // 0 when no registry event reports it
  bool periodic;         // read by the periodic check
};

// Types 1 to 20 in order.
std::span<const SystemSettingDefinition> SystemSettingTable();
// Null for a type outside 1 to 20.
const SystemSettingDefinition* FindSystemSettingDefinition(uint32_t type);

// Row KEY when the row was added or its value changed, else 0.
int32_t ReconcileSystemSetting(Ledger::LedgerContext& context, uint32_t type, const std::u16string& path,
                               const std::u16string& valueText, const std::u16string& userId);
// Users' settings, then the machine's, then one EVENT_TYPE 9 change event.
void CheckSystemSettings(Ledger::LedgerContext& context);
// The per-user settings of every loaded user hive.
void CheckUserSettings(Ledger::LedgerContext& context);
// The machine's settings.
void CheckMachineSettings(Ledger::LedgerContext& context);

}  // namespace Families
