#pragma once
// Registry and file entries as the driver would report them, and a fresh emulated
// machine (drive C on its own host folder) with the product's settings and an engine.

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "engine/load_point_engine.h"
#include "intake/data_collector.h"
#include "intake/driver_record.h"
#include "intake/registry_entry.h"
#include "platform/scoped_handle.h"
#include "support/temporary_machine.h"
#include "util/brumevale_settings.h"
#include "util/drive_map.h"
#include "util/registry_readers.h"
#include "util/vyr_log.h"

namespace EngineTest {

inline std::vector<uint8_t> Wide(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// op: kOpRegistryValueSet, kOpRegistryValueDeleted or kOpRegistryKeyDeleted (or
// anything else for an entry of no known operation). REG_SZ data.
inline std::unique_ptr<Intake::RegistryEntry> MakeRegistryEntry(Platform::System& system, uint32_t op,
                                                        std::u16string_view key,
                                                        std::u16string_view valueName = u"",
                                                        std::u16string_view data = u"x",
                                                        uint64_t processId = 42) {
  std::vector<uint8_t> bytes = Wide(key);
  if (op != Intake::kOpRegistryKeyDeleted) {
    for (auto part : {Wide(valueName), Wide(data)}) bytes.insert(bytes.end(), part.begin(), part.end());
  }
  const Intake::DriverRecord record{.dataLength = static_cast<uint32_t>(bytes.size()), .id2 = processId,
                            .operation = op, .detail = Platform::kRegSz, .data = bytes};
  return std::make_unique<Intake::RegistryEntry>(system, record);
}

inline std::unique_ptr<Intake::FileEntry> MakeFileEntry(Platform::System& system, uint32_t operation,
                                                std::u16string path,
                                                std::u16string_view newName = u"") {
  auto entry = std::make_unique<Intake::FileEntry>();
  entry->SetHeader(system, Intake::kEntryFile, 42, 7);
  entry->SetFile(operation, std::move(path), 0);
  if (!newName.empty()) entry->SetSecondPath(newName);
  return entry;
}

// A queue the test fills; entries are freed as the data collector frees them.
class QueueConsumer : public Intake::DataConsumer {
 public:
  void Add(std::unique_ptr<Intake::SystemLogEntry> entry) { queue_.push_back(std::move(entry)); }
  Intake::SystemLogEntry* TakeNextEntry() override {
    current_.reset();
    if (queue_.empty()) return nullptr;
    current_ = std::move(queue_.front());
    queue_.pop_front();
    return current_.get();
  }

 private:
  std::deque<std::unique_ptr<Intake::SystemLogEntry>> queue_;
  std::unique_ptr<Intake::SystemLogEntry> current_;
};

class EngineMachine : public ::testing::Test {
 protected:
  EngineMachine() : system_(machine_.Service()), log_(system_), drives_(system_), settings_(system_) {
    settings_.InitialiseProduct();
  }

  // Creates HKEY_LOCAL_MACHINE\path; with a name, also sets that REG_SZ value.
  void SetString(std::u16string_view path, std::u16string_view name = u"",
                 std::optional<std::u16string_view> text = std::nullopt) {
    Platform::ScopedKey key;
    ASSERT_EQ(system_.Registry().CreateKey(Platform::kHkeyLocalMachine, path, 0,
                                           Platform::kKeyAllAccess, key.Receive(system_.Registry()),
                                           nullptr),
              Platform::kErrorSuccess);
    if (text) {
      ASSERT_TRUE(VyrUtilities::WriteRegistryString(system_, key.Get(), name, *text));
    }
  }

  TemporaryMachine machine_;
  Platform::System& system_;
  VyrUtilities::VyrLog log_;
  VyrUtilities::DriveMap drives_;
  VyrUtilities::BrumevaleSettings settings_;
};

}  // namespace EngineTest
