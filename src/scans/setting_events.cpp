#include "scans/setting_events.h"

#include "engine/load_point_engine.h"
#include "ledger/change_record.h"
#include "ledger/load_point_catalogue.h"
#include "ledger/process_file.h"
#include "intake/brumevale_event.h"
#include "scans/full_scan.h"
#include "scans/system_settings.h"

void HandleSettingEvent(LoadPointEngine& engine, const BrumevaleRegistryEvent& event,
                        uint64_t processId) {
  const uint32_t type = SystemSettingTypeOf(event.MatcherCode());
  if (type == 0) return;
  const RegistryKeyPath& path = event.KeyPath();
  // A deleted value carries no text: the setting is then cleared, which is a change
  // as much as setting it is.
  const int32_t key = ReconcileSystemSetting(engine, type, path.ToText(false),
                                             event.GetValueText(0), path.Sid());
  if (key == 0) return;
  const int32_t processKey = AddProcessFile(engine, processId);
  RecordChangeEvent(engine, event.TimeText(), key, processKey, kEventSystemSettingChanged, nullptr);
}
