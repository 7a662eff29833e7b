#include "database/extended_event_data.h"

namespace Database {

const std::u16string& ExtendedEventData::GetParam(int index) const {
  return index >= 0 && index < kParamCount ? params_[index] : spare_;
}

void ExtendedEventData::SetParam(int index, std::u16string text) {
  if (index >= 0 && index < kParamCount) {
    params_[index] = std::move(text);
  } else {
    spare_ = std::move(text);
  }
}

}  // namespace Database
