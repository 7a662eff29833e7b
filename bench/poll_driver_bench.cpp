// Decoding full driver replies against copying the same bytes once (the least any
// consumer of a reply pays). Every benchmark reports records per second, so the
// ratio of a decode to its copy is the decoder's cost in copies of the reply.
//   Mixed: registry value sets, file creates and writes with their closes, thread
//     creates and ends, process ends, in the proportions of a busy machine.
//   Registry, File: one record class each.
//   ProcessStarts: each start looks the live process's image and owner up at once,
//     so it is reported on its own.
// BM_Decode also prints its own baseline: thread CPU time per record of the decode
// and of a copy of the same reply taken between decodes, and their ratio (copies).

#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "intake/data_collector.h"
#include "intake/driver_record.h"
#include "platform/emulated/machine/machine.h"
#include "util/drive_map.h"

using Intake::DataCollector;
using Intake::kDriverReplySize;
using Intake::kFileOpClose;
using Intake::kFileOpCreate;
using Intake::kFileOpWriteFinished;
using Intake::kFileOpWriteStarted;
using Intake::kOpProcessEnded;
using Intake::kOpProcessStarted;
using Intake::kOpRegistryValueSet;
using Intake::kOpThreadCreated;
using Intake::kOpThreadEnded;
using Intake::kRecordDataOffset;
using Intake::kRecordStride;

namespace {

constexpr uint32_t kServicePid = 900;

using Records = std::vector<std::vector<uint8_t>>;

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

std::vector<uint8_t> Record(uint64_t id1, uint64_t id2, uint64_t id3, uint32_t operation,
                            uint32_t detail, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> record(kRecordStride + data.size(), 0);
  Put(record, 0, data.size(), 4);
  Put(record, 8, id1, 8);
  Put(record, 16, id2, 8);
  Put(record, 24, id3, 8);
  Put(record, 32, operation, 4);
  Put(record, 36, detail, 4);
  std::memcpy(record.data() + kRecordDataOffset, data.data(), data.size());
  return record;
}

// A Run-key value set as the driver reports it: key path, value name, string data.
std::vector<uint8_t> RegistryRecord(uint64_t n) {
  std::vector<uint8_t> data;
  AppendWide(data, u"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  AppendWide(data, u"Updater");
  AppendWide(data, u"\"C:\\Program Files\\Updater\\updater.exe\" /background");
  return Record(0, 1000 + n % 50, 0, kOpRegistryValueSet, 1, data);
}

std::vector<uint8_t> FileRecord(uint64_t object, uint32_t operation, uint64_t n) {
  std::vector<uint8_t> data;
  AppendWide(data, u"\\Device\\HarddiskVolume2\\Users\\alice\\AppData\\Local\\Temp\\setup" +
                       std::u16string(1, static_cast<char16_t>(u'a' + n % 26)) + u".exe");
  return Record(object, 1000 + n % 50, 4000 + n % 7, operation, 0, data);
}

// The records of one cycle of the mixed reply; n numbers the cycle.
std::vector<std::vector<uint8_t>> MixedCycle(uint64_t n) {
  const uint64_t object = 0x10000 + n;
  return {RegistryRecord(n),
          FileRecord(object, kFileOpCreate, n),
          Record(5000 + n, 1000 + n % 50, 0, kOpThreadCreated, 0, {}),
          FileRecord(object, kFileOpWriteStarted, n),
          FileRecord(object, kFileOpWriteFinished, n),
          RegistryRecord(n + 1),
          Record(5000 + n, 1000 + n % 50, 0, kOpThreadEnded, 0, {}),
          FileRecord(object, kFileOpClose, n),
          Record(2000 + n, 4, 0, kOpProcessEnded, 0, {})};
}

// Fills a reply with cycles of records until the next cycle would not fit.
struct FullReply {
  explicit FullReply(const std::function<std::vector<std::vector<uint8_t>>(uint64_t)>& cycle)
      : bytes(kDriverReplySize, 0) {
    size_t offset = 0;
    for (uint64_t n = 0;; ++n) {
      const auto records = cycle(n);
      size_t size = 0;
      for (const auto& record : records) size += record.size();
      if (offset + size > bytes.size()) break;
      for (const auto& record : records) {
        std::memcpy(bytes.data() + offset, record.data(), record.size());
        offset += record.size();
        ++count;
      }
    }
  }
  std::vector<uint8_t> bytes;
  uint32_t count = 0;
};

FullReply MakeReply(int kind) {
  switch (kind) {
    case 0: return FullReply(MixedCycle);
    case 1: return FullReply([](uint64_t n) { return Records{RegistryRecord(n)}; });
    case 2:
      return FullReply([](uint64_t n) {
        return Records{FileRecord(n, kFileOpCreate, n), FileRecord(n, kFileOpClose, n)};
      });
    default:
      return FullReply([](uint64_t n) {
        return Records{Record(kServicePid, 4, 0, kOpProcessStarted, 0, {}),
                           Record(2000 + n, 4, 0, kOpProcessEnded, 0, {})};
      });
  }
}

// CPU time of the calling thread, in nanoseconds.
double ThreadCpuNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// The copy of the reply, measured between decodes so that both see the same
// machine; repeated so that reading the clock is small beside it.
double CopyNanoseconds(const FullReply& reply, std::vector<uint8_t>& copy) {
  constexpr int kCopies = 16;
  const double start = ThreadCpuNanoseconds();
  for (int i = 0; i < kCopies; ++i) {
    std::memcpy(copy.data(), reply.bytes.data(), reply.bytes.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  return (ThreadCpuNanoseconds() - start) / kCopies;
}

void BM_Decode(benchmark::State& state) {
  Emulated::MachineConfig config;
  config.drives.push_back({u'C', std::filesystem::temp_directory_path().string(), 2});
  Emulated::Machine machine(std::move(config));
  Platform::System& system = machine.Process(kServicePid);
  VyrUtilities::DriveMap driveMap(system);
  driveMap.Initialise();
  DataCollector collector(system, driveMap);
  const FullReply reply = MakeReply(static_cast<int>(state.range(0)));
  std::vector<uint8_t> copy(reply.bytes.size());
  uint64_t entries = 0;
  double decodeNs = 0;
  double copyNs = 0;
  for (auto _ : state) {
    const double start = ThreadCpuNanoseconds();
    benchmark::DoNotOptimize(collector.DecodeReply(reply.bytes, reply.count));
    decodeNs += ThreadCpuNanoseconds() - start;
    state.PauseTiming();
    while (collector.TakeNextEntry() != nullptr) ++entries;
    copyNs += CopyNanoseconds(reply, copy);
    state.ResumeTiming();
  }
  const double records = static_cast<double>(state.iterations()) * reply.count;
  state.SetItemsProcessed(static_cast<int64_t>(records));
  state.counters["records_per_reply"] = reply.count;
  state.counters["entries_per_reply"] = static_cast<double>(entries) / state.iterations();
  state.counters["ns_per_record"] = decodeNs / records;
  state.counters["copy_ns_per_record"] = copyNs / records;
  state.counters["copies"] = decodeNs / copyNs;
}

void BM_Copy(benchmark::State& state) {
  const FullReply reply = MakeReply(static_cast<int>(state.range(0)));
  std::vector<uint8_t> copy(reply.bytes.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), reply.bytes.data(), reply.bytes.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * reply.count);
}

// 0 mixed, 1 registry, 2 file, 3 process starts (with as many ends).
BENCHMARK(BM_Copy)->ArgName("reply")->DenseRange(0, 3);
BENCHMARK(BM_Decode)->ArgName("reply")->DenseRange(0, 3);

}  // namespace

BENCHMARK_MAIN();
