// Decoding a full driver reply of registry records, against the cost of copying the
// same bytes once (the least any consumer of the reply pays). Both report records
// per second, so their ratio is the decoder's cost in copies of the reply.

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "intake/data_collector.h"
#include "intake/driver_record.h"
#include "platform/emulated/machine.h"
#include "util/drive_map.h"

namespace {

void AppendWide(std::vector<uint8_t>& bytes, std::u16string_view text) {
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
}

void Put(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A Run-key value set as the driver reports it: key path, value name, string data.
std::vector<uint8_t> RegistryRecord(uint64_t process) {
  std::vector<uint8_t> data;
  AppendWide(data, u"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  AppendWide(data, u"Updater");
  AppendWide(data, u"\"C:\\Program Files\\Updater\\updater.exe\" /background");
  std::vector<uint8_t> record(kRecordStride + data.size(), 0);
  Put(record, 0, data.size(), 4);
  Put(record, 16, process, 8);
  Put(record, 32, kOpRegistryValueSet, 4);
  Put(record, 36, 1, 4);
  std::memcpy(record.data() + kRecordDataOffset, data.data(), data.size());
  return record;
}

struct FullReply {
  FullReply() : bytes(kDriverReplySize, 0) {
    size_t offset = 0;
    for (;;) {
      const std::vector<uint8_t> record = RegistryRecord(1000 + count);
      if (offset + record.size() > bytes.size()) break;
      std::memcpy(bytes.data() + offset, record.data(), record.size());
      offset += record.size();
      ++count;
    }
  }
  std::vector<uint8_t> bytes;
  uint32_t count = 0;
};

void BM_DecodeRegistryReply(benchmark::State& state) {
  Emulated::MachineConfig config;
  config.drives.push_back({u'C', std::filesystem::temp_directory_path().string(), 2});
  Emulated::Machine machine(std::move(config));
  VyrUtilities::DriveMap driveMap(machine.Process(900));
  DataCollector collector(machine.Process(900), driveMap);
  const FullReply reply;
  for (auto _ : state) {
    benchmark::DoNotOptimize(collector.DecodeReply(reply.bytes, reply.count));
    state.PauseTiming();
    while (collector.TakeNextEntry() != nullptr) {
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * reply.count);
  state.counters["records_per_reply"] = reply.count;
}

void BM_CopyRegistryReply(benchmark::State& state) {
  const FullReply reply;
  std::vector<uint8_t> copy(reply.bytes.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), reply.bytes.data(), reply.bytes.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * reply.count);
}

BENCHMARK(BM_CopyRegistryReply);
BENCHMARK(BM_DecodeRegistryReply);

}  // namespace

BENCHMARK_MAIN();
