#include "intake/brumevale_event.h"

#include "intake/location_codes.h"
#include "util/path_routines.h"

namespace Intake {

namespace {

// A path that does not parse still makes an event: the handlers decide on the
// components that were read, and dropping it would hide the change.
RegistryKeyPath ParsedKeyPath(const RegistryEntry& entry) {
  RegistryKeyPath path;
  path.ParseNative(entry.KeyPath(), 0);
  return path;
}

}  // namespace

BrumevaleRegistryEvent::BrumevaleRegistryEvent(const RegistryEntry& entry, uint32_t matcherCode,
                                               int32_t extraNumber)
    : BrumevaleRegistryEvent(entry, ParsedKeyPath(entry), matcherCode, extraNumber) {}

BrumevaleRegistryEvent::BrumevaleRegistryEvent(const RegistryEntry& entry, const RegistryKeyPath& keyPath,
                                               uint32_t matcherCode, int32_t extraNumber)
    : BrumevaleEvent(matcherCode, entry.TimeText()),
      operation_(entry.Operation()),
      keyPath_(keyPath),
      valueName_(entry.ValueName()),
      valueType_(entry.ValueType()),
      extraNumber_(extraNumber) {
  CollectValueTexts(entry);
}

void BrumevaleRegistryEvent::CollectValueTexts(const RegistryEntry& entry) {
  std::u16string text;
  if (valueType_ == Platform::kRegMultiSz) {
    for (size_t i = 0; i < entry.GetValueCount(); ++i) {
      valueTexts_.push_back(entry.GetValueText(i, text) ? text : std::u16string());
    }
    return;
  }
  if (valueType_ == Platform::kRegBinary && entry.HasData()) rawData_.assign(entry.Data().begin(), entry.Data().end());
  // Every other type carries exactly one text, empty when the data has none.
  valueTexts_.push_back(entry.GetValueText(0, text) ? text : std::u16string());
}

const std::u16string& BrumevaleRegistryEvent::GetValueText(size_t index) const {
  return index < valueTexts_.size() ? valueTexts_[index] : empty_;
}

std::u16string BrumevaleFileEvent::GetFileName() const {
  std::u16string name;
  VyrUtilities::SplitPath(path_, nullptr, &name, nullptr, nullptr);
  return name;
}

uint32_t FileExtensionKindOfCode(uint32_t matcherCode) {
  if (matcherCode < kExtensionDefaultCode || matcherCode > kVerbCommandCode) return 0;
  return matcherCode - kExtensionDefaultCode + 1;
}

}  // namespace Intake
