#include "intake/cut_record.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/scoped_handle.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

namespace Intake {

namespace {

constexpr std::u16string_view kMachinePrefix = u"\\REGISTRY\\MACHINE\\";
constexpr std::u16string_view kUserPrefix = u"\\REGISTRY\\USER\\";

bool IsStringType(uint32_t type) {
  return type == Platform::kRegSz || type == Platform::kRegExpandSz ||
         type == Platform::kRegMultiSz;
}

// The parts of a registry record: where the value data starts, the key path and the
// value name. False when the two strings are not both terminated.
struct RecordParts {
  size_t dataOffset = 0;
  std::u16string keyPath;
  std::u16string valueName;
};

bool SplitRecord(const DriverRecord& record, RecordParts& parts) {
  bool terminated = false;
  size_t offset = ReadWideString(record.data, 0, parts.keyPath, terminated);
  if (!terminated) return false;
  offset += ReadWideString(record.data, offset, parts.valueName, terminated);
  if (!terminated) return false;
  parts.dataOffset = offset;
  return true;
}

// Opens the kernel form of a key ("\REGISTRY\MACHINE\..." or "\REGISTRY\USER\...").
bool OpenKernelKey(Platform::System& system, const std::u16string& kernelPath,
                   Platform::ScopedKey& key) {
  Platform::Handle root = 0;
  size_t prefix = 0;
  if (VyrUtilities::StartsWith(kernelPath, kMachinePrefix, false)) {
    root = Platform::kHkeyLocalMachine;
    prefix = kMachinePrefix.size();
  } else if (VyrUtilities::StartsWith(kernelPath, kUserPrefix, false)) {
    root = Platform::kHkeyUsers;
    prefix = kUserPrefix.size();
  } else {
    return false;
  }
  Platform::Registry& registry = system.Registry();
  return registry.OpenKey(root, std::u16string_view(kernelPath).substr(prefix), Platform::kKeyRead,
                          key.Receive(registry)) == Platform::kErrorSuccess;
}

}  // namespace

bool RecordDataMayBeCut(const DriverRecord& record) {
  if (record.operation != kOpRegistryValueSet) return false;
  if (kRecordStride + record.data.size() >= kDriverReplySize) return true;
  if (!IsStringType(record.detail)) return false;
  const std::span<const uint8_t> data = record.data;
  return data.size() < 2 || data.size() % 2 != 0 || data[data.size() - 1] != 0 ||
         data[data.size() - 2] != 0;
}

std::vector<uint8_t> CompletedRecordData(Platform::System& system, const DriverRecord& record) {
  RecordParts parts;
  if (!SplitRecord(record, parts)) return {};
  Platform::ScopedKey key;
  if (!OpenKernelKey(system, parts.keyPath, key)) return {};
  uint32_t type = 0;
  std::vector<uint8_t> value;
  if (VyrUtilities::QueryValueWhole(system.Registry(), key.Get(), parts.valueName, &type, &value) !=
          Platform::kErrorSuccess ||
      type != record.detail) {
    return {};
  }
  const std::span<const uint8_t> carried = record.data.subspan(parts.dataOffset);
  if (value.size() <= carried.size() ||
      !std::equal(carried.begin(), carried.end(), value.begin())) {
    return {};
  }
  std::vector<uint8_t> completed(record.data.begin(), record.data.begin() + parts.dataOffset);
  completed.insert(completed.end(), value.begin(), value.end());
  return completed;
}

}  // namespace Intake
