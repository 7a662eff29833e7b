#pragma once
// What an entry means for one watched location: a registry or file event tagged with
// the location's matcher code. The matchers create one event per location touched.

#include <cstdint>
#include <string>
#include <vector>

#include "intake/registry_entry.h"
#include "intake/registry_key_path.h"
#include "intake/system_log_entry.h"

namespace Intake {

class BrumevaleEvent {
 public:
  BrumevaleEvent(uint32_t matcherCode, std::u16string timeText)
      : matcherCode_(matcherCode), timeText_(std::move(timeText)) {}
  virtual ~BrumevaleEvent() = default;

  uint32_t MatcherCode() const { return matcherCode_; }
  const std::u16string& TimeText() const { return timeText_; }

 private:
  uint32_t matcherCode_;
  std::u16string timeText_;
};

class BrumevaleRegistryEvent : public BrumevaleEvent {
 public:
  // extraNumber: 0 for catalogue locations; for a class watch, the database key of
  // the load point the class belongs to.
  BrumevaleRegistryEvent(const RegistryEntry& entry, uint32_t matcherCode, int32_t extraNumber);
  // The same with the entry's key path already parsed (flags 0), as the matcher has it.
  BrumevaleRegistryEvent(const RegistryEntry& entry, const RegistryKeyPath& keyPath,
                         uint32_t matcherCode, int32_t extraNumber);

  // Value text index, or the empty text when there is none.
  const std::u16string& GetValueText(size_t index) const;
  size_t ValueTextCount() const { return valueTexts_.size(); }

  uint32_t Operation() const { return operation_; }
  const RegistryKeyPath& KeyPath() const { return keyPath_; }
  const std::u16string& ValueName() const { return valueName_; }
  uint32_t ValueType() const { return valueType_; }
  // Raw bytes, kept for REG_BINARY values only.
  const std::vector<uint8_t>& RawData() const { return rawData_; }
  int32_t ExtraNumber() const { return extraNumber_; }

 private:
  void CollectValueTexts(const RegistryEntry& entry);

  uint32_t operation_;
  RegistryKeyPath keyPath_;
  std::u16string valueName_;
  uint32_t valueType_;
  std::vector<std::u16string> valueTexts_;
  std::vector<uint8_t> rawData_;
  int32_t extraNumber_;
  std::u16string empty_;
};

class BrumevaleFileEvent : public BrumevaleEvent {
 public:
  BrumevaleFileEvent(const FileEntry& entry, uint32_t matcherCode, std::u16string path,
                     std::u16string matcherText)
      : BrumevaleEvent(matcherCode, entry.TimeText()),
        path_(std::move(path)),
        matcherText_(std::move(matcherText)) {}

  // The file-name part of the path.
  std::u16string GetFileName() const;

  const std::u16string& Path() const { return path_; }
  const std::u16string& MatcherText() const { return matcherText_; }
  std::u16string& FirstExtra() { return firstExtra_; }
  std::u16string& SecondExtra() { return secondExtra_; }

 private:
  std::u16string path_;
  std::u16string matcherText_;
  std::u16string firstExtra_;
  std::u16string secondExtra_;
};

// The file-extension kind watched by a matcher code (codes 94 to 96), or 0.
uint32_t FileExtensionKindOfCode(uint32_t matcherCode);

}  // namespace Intake
