// libFuzzer target over the decoding of a driver reply: any bytes, any record count.
// The first four input bytes are the count the driver claims; the rest is the reply
// (at most the 107200 bytes the service receives). One collector lives across inputs
// so that file-object contexts carry over as they do in the service.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>

#include "intake/data_collector.h"
#include "intake/driver_record.h"
#include "intake/registry_entry.h"
#include "platform/emulated/machine/machine.h"
#include "util/drive_map.h"

using Intake::DataCollector;
using Intake::RegistryEntry;
using Intake::SystemLogEntry;
using Intake::kDriverReplySize;

namespace {

struct Harness {
  Harness() {
    Emulated::MachineConfig config;
    config.drives.push_back({u'C', std::filesystem::temp_directory_path().string(), 2});
    machine = std::make_unique<Emulated::Machine>(std::move(config));
    driveMap = std::make_unique<VyrUtilities::DriveMap>(machine->Process(900));
    collector = std::make_unique<DataCollector>(machine->Process(900), *driveMap);
  }
  std::unique_ptr<Emulated::Machine> machine;
  std::unique_ptr<VyrUtilities::DriveMap> driveMap;
  std::unique_ptr<DataCollector> collector;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Harness harness;
  if (size < 4) return 0;
  uint32_t count = 0;
  std::memcpy(&count, data, 4);
  // Copied into a buffer of exactly its size, so that ASan sees any read past it.
  const size_t replySize = std::min(size - 4, kDriverReplySize);
  std::unique_ptr<uint8_t[]> reply(new uint8_t[replySize]);
  std::memcpy(reply.get(), data + 4, replySize);
  harness.collector->DecodeReply(std::span<const uint8_t>(reply.get(), replySize), count);
  while (SystemLogEntry* entry = harness.collector->TakeNextEntry()) {
    if (auto* registry = dynamic_cast<RegistryEntry*>(entry)) {
      std::u16string text;
      for (size_t i = 0; i < registry->GetValueCount() + 1; ++i) registry->GetValueText(i, text);
    }
  }
  return 0;
}
