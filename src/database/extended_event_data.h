#pragma once
// The texts of one ExtendedEvent row, written beside a change event. The engine
// derives its load-point flavour (with the setters that fill the parameters) from
// this class; the database only needs to read it, so the base lives here.

#include <array>
#include <cstdint>
#include <string>

#include "database/event_origin.h"

namespace Database {

class ExtendedEventData {
 public:
  static constexpr int kParamCount = 6;

  virtual ~ExtendedEventData() = default;

  // PARAM_0 to PARAM_5. Any other index reaches one spare text that is never
  // stored, so a caller with a bad index cannot corrupt a real parameter.
  const std::u16string& GetParam(int index) const;
  void SetParam(int index, std::u16string text);

  // Key of the ChangeEvents row this belongs to; set when the change event is written.
  int32_t changeEventKey = 0;
  // 1 added, 2 changed, 3 name changed, 4 removed; 0 means never filled (not written).
  uint32_t extendedEventType = 0;
  // A removal that is a load point switched off, or an addition that is one back on:
  // written as the event's EventOrigin row beside it. Not an ExtendedEvent column.
  LoadPointStateChange stateChange = LoadPointStateChange::kNone;

 private:
  std::array<std::u16string, kParamCount> params_;
  std::u16string spare_;
};

}  // namespace Database
