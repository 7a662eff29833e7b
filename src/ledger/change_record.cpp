#include "ledger/change_record.h"

#include "util/text_routines.h"

namespace Ledger {

uint32_t EventTypeOfChangeKind(uint32_t kind) {
  switch (kind) {
    case kChangeKindAdded: return kEventLoadPointAdded;
    case kChangeKindChanged: return kEventLoadPointChanged;
    case kChangeKindDeleted: return kEventLoadPointRemoved;
    default: return 0;
  }
}

void LoadPointExtEventData::SetLoadPoint(uint32_t type, const std::u16string& entryName,
                                         const std::u16string& userId) {
  SetParam(0, VyrUtilities::IntToText(type, 10));
  // A display name stored by a kind setter is what people recognise; keep it.
  if (GetParam(1).empty()) SetParam(1, entryName);
  SetParam(2, userId);
}

void LoadPointExtEventData::SetAltName(const std::u16string& altName) {
  if (!altName.empty()) SetParam(1, altName);
}

void LoadPointExtEventData::SetAdded(const std::u16string& value, const std::u16string& altName) {
  extendedEventType = kExtendedAdded;
  SetAltName(altName);
  SetParam(4, value);
}

void LoadPointExtEventData::SetChanged(const std::u16string& newValue,
                                       const std::u16string& oldValue,
                                       const std::u16string& altName) {
  extendedEventType = kExtendedChanged;
  SetAltName(altName);
  SetParam(4, newValue);
  SetParam(5, oldValue);
}

void LoadPointExtEventData::SetNameChanged(const std::u16string& newName,
                                           const std::u16string& oldName) {
  extendedEventType = kExtendedNameChanged;
  SetAltName(newName);
  SetParam(4, newName);
  SetParam(5, oldName);
}

void LoadPointExtEventData::SetDeleted(const std::u16string& oldValue,
                                       const std::u16string& altName) {
  extendedEventType = kExtendedDeleted;
  SetAltName(altName);
  SetParam(4, oldValue);
}

void LoadPointExtEventData::SetProcessKey(int32_t processKey) {
  SetParam(3, VyrUtilities::IntToText(processKey, 10));
}

}  // namespace Ledger
