#include "families/settings/system_setting_events.h"

#include "families/common/class_indirection.h"
#include "families/common/load_point_catalogue.h"
#include "families/services/service_scan.h"
#include "families/settings/system_settings.h"
#include "intake/brumevale_event.h"
#include "ledger/change_record.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/process_file.h"

using Intake::BrumevaleRegistryEvent;
using Intake::RegistryKeyPath;
using Ledger::LedgerContext;
using Ledger::ReadProcessFile;
using Ledger::RecordChangeEvent;
using Ledger::WriteProcessFile;
using Ledger::kEventSystemSettingChanged;

namespace Families {

void HandleSettingEvent(LedgerContext& context, const BrumevaleRegistryEvent& event,
                        uint64_t processId) {
  const uint32_t type = SystemSettingTypeOf(event.MatcherCode());
  if (type == 0) return;
  const RegistryKeyPath& path = event.KeyPath();
  // Read before the first lookup takes the live batch's lock.
  const auto process = ReadProcessFile(context, processId);
  // A deleted value carries no text: the setting is then cleared, which is a change
  // as much as setting it is.
  const int32_t key = ReconcileSystemSetting(context, type, path.ToText(false),
                                             event.GetValueText(0), path.Sid());
  if (key == 0) return;
  const int32_t processKey = WriteProcessFile(context, *process);
  RecordChangeEvent(context, event.TimeText(), key, processKey, kEventSystemSettingChanged, nullptr);
}

}  // namespace Families
