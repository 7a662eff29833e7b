#pragma once
// What a handler or scanner found: a change record names the LoadPoints row and the
// kind of change, and carries the texts of the ExtendedEvent row written beside the
// change event. RecordChangeEvent turns one record into those two rows.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "database/extended_event_data.h"

namespace Ledger {

// EVENT_TYPE of a ChangeEvents row.
inline constexpr uint32_t kEventLoadPointChanged = 1;  // also a helper object found by a watcher
inline constexpr uint32_t kEventLoadPointRemoved = 2;
inline constexpr uint32_t kEventRescanChanged = 6;  // a rescan added or changed a row
inline constexpr uint32_t kEventSystemSettingChanged = 7;
inline constexpr uint32_t kEventFileExtensionSet = 8;
inline constexpr uint32_t kEventSystemSettingsChecked = 9;
inline constexpr uint32_t kEventLoadPointAdded = 13;
inline constexpr uint32_t kEventFileExtensionDeleted = 14;

// EX_EVENT_TYPE of an ExtendedEvent row (0: never filled, not written).
inline constexpr uint32_t kExtendedAdded = 1;
inline constexpr uint32_t kExtendedChanged = 2;
inline constexpr uint32_t kExtendedNameChanged = 3;
inline constexpr uint32_t kExtendedDeleted = 4;

// Kinds of a change record; kind 0 means nothing to record.
inline constexpr uint32_t kChangeKindNone = 0;
inline constexpr uint32_t kChangeKindChanged = 2;
inline constexpr uint32_t kChangeKindAdded = 5;
inline constexpr uint32_t kChangeKindDeleted = 7;

// The EVENT_TYPE of a change kind; 0 for kind 0 or an unknown kind.
uint32_t EventTypeOfChangeKind(uint32_t kind);

// PARAM_0 type, PARAM_1 entry or display name, PARAM_2 user, PARAM_3 process key,
// PARAM_4 new (or only) value, PARAM_5 old value.
class LoadPointExtEventData : public Database::ExtendedEventData {
 public:
  // PARAM_1 keeps a display name that a kind setter stored before.
  void SetLoadPoint(uint32_t type, const std::u16string& entryName, const std::u16string& userId);
  void SetAdded(const std::u16string& value, const std::u16string& altName);
  void SetChanged(const std::u16string& newValue, const std::u16string& oldValue,
                  const std::u16string& altName);
  void SetNameChanged(const std::u16string& newName, const std::u16string& oldName);
  void SetDeleted(const std::u16string& oldValue, const std::u16string& altName);
  void SetProcessKey(int32_t processKey);

 private:
  void SetAltName(const std::u16string& altName);
};

struct ChangeRecord {
  int32_t targetKey;
  uint32_t kind = kChangeKindNone;
  std::unique_ptr<LoadPointExtEventData> extendedData;

  explicit ChangeRecord(int32_t key)
      : targetKey(key), extendedData(std::make_unique<LoadPointExtEventData>()) {}
};

using ChangeRecords = std::vector<ChangeRecord>;

}  // namespace Ledger
