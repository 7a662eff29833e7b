#pragma once
// A booted engine fed the way the driver feeds it: every registry change a test makes
// is applied to the emulated registry and queued as the driver entry that reports it,
// and a dispatch pass handles it. The engine's own rescans are the real
// ones, so a test can also ask what a rescan would have found.

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "support/engine_fixture.h"
#include "support/scan_test_machine.h"

namespace LiveTest {

using Bytes = std::vector<uint8_t>;

inline Bytes Sz(std::u16string_view text) { return EngineTest::Wide(text); }
inline Bytes MultiSz(std::initializer_list<std::u16string_view> items) {
  Bytes bytes;
  for (std::u16string_view item : items) {
    const Bytes one = EngineTest::Wide(item);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}
inline Bytes Dword(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

// Paths are "HKLM\..." or "HKU\<SID>\...".
struct LiveQueue {
  EngineTest::QueueConsumer queue_;
};

class LiveMachine : private LiveQueue, public ScanMachine {
 public:
  explicit LiveMachine(const std::string& bootRegistry = "")
      : ScanMachine(TwoLoggedOnUsers(), bootRegistry, &queue_) {}

  static Emulated::MachineConfig TwoLoggedOnUsers() {
    Emulated::MachineConfig config = TwoUserConfig();
    config.users[1].loggedOn = true;
    return config;
  }

  void Set(std::u16string_view path, std::u16string_view name, uint32_t type, const Bytes& data,
           uint64_t processId = 4120) {
    Platform::Registry& registry = System().Registry();
    Platform::ScopedKey key;
    ASSERT_EQ(registry.CreateKey(RootOf(path), SubKeyOf(path), 0, Platform::kKeyAllAccess,
                                 key.Receive(registry), nullptr),
              Platform::kErrorSuccess);
    ASSERT_EQ(registry.SetValue(key.Get(), name, type, data), Platform::kErrorSuccess);
    Note("set " + Text(path) + " [" + Text(name) + "] = " + DataText(type, data));
    Report(Intake::kOpRegistryValueSet, path, name, type, data, processId);
  }
  void SetSz(std::u16string_view path, std::u16string_view name, std::u16string_view text) {
    Set(path, name, Platform::kRegSz, Sz(text));
  }
  void DeleteValue(std::u16string_view path, std::u16string_view name) {
    Platform::Registry& registry = System().Registry();
    Platform::ScopedKey key;
    ASSERT_EQ(registry.OpenKey(RootOf(path), SubKeyOf(path), Platform::kKeyAllAccess,
                               key.Receive(registry)),
              Platform::kErrorSuccess);
    ASSERT_EQ(registry.DeleteValue(key.Get(), name), Platform::kErrorSuccess);
    Note("delete value " + Text(path) + " [" + Text(name) + "]");
    Report(Intake::kOpRegistryValueDeleted, path, name, Platform::kRegNone, {}, 4120);
  }
  void DeleteKey(std::u16string_view path) {
    ASSERT_EQ(System().Registry().DeleteTree(RootOf(path), SubKeyOf(path)), Platform::kErrorSuccess);
    Note("delete key " + Text(path));
    Report(Intake::kOpRegistryKeyDeleted, path, u"", Platform::kRegNone, {}, 4120);
  }
  // Files as the minifilter reports them once the handle is closed: a write (also the
  // first one, which creates the file), a deletion, a rename.
  void SaveFile(const std::u16string& path, const std::string& text) {
    WriteFile(path, text);
    Note("write " + Text(path) + ": " + text);
    ReportFile(Intake::kFileWritten, path);
  }
  void RemoveFile(const std::u16string& path) {
    ASSERT_EQ(System().Files().DeleteFile(path), Platform::kErrorSuccess);
    Note("delete file " + Text(path));
    ReportFile(Intake::kFileDeleted, path);
  }
  void MoveFile(const std::u16string& from, const std::u16string& to) {
    ASSERT_EQ(System().Files().MoveFileEx(from, to, Platform::kMoveFileReplaceExisting),
              Platform::kErrorSuccess);
    Note("rename " + Text(from) + " to " + Text(to));
    ReportFile(Intake::kFileRenamed, from, to);
  }

  // What the dispatcher runs once a helper objects' watcher has seen a key appear.
  // The watcher's thread signals in its own time, and may miss a key made before it
  // has armed its next notification, so a test that must replay tells it here.
  void HelperObjectsSignalled() {
    Note("the helper objects' watcher signals");
    Engine().Handlers().scanBrowserHelperObjects(Engine(), 1, 1);
  }

  // Every change made so far, one a line, for a failure message to replay.
  std::string StepList() const {
    std::string list;
    for (size_t i = 0; i < steps_.size(); ++i) list += std::to_string(i + 1) + ". " + steps_[i] + "\n";
    return list;
  }

  // A full rescan as the periodic thread runs it.
  void Rescan() { Engine::FullLoadPointScan(Engine(), 0); }

  // Rows as text, ordered by key.
  SqlRows LoadPoints() {
    return Sql("SELECT LP_TYPE, USER_ID, ENTRY_NAME, COMMAND_LINE, DISPLAY_NAME FROM LoadPoints "
               "ORDER BY KEY");
  }
  SqlRows Indirections() {
    return Sql("SELECT LP_KEY, ENTRY_NAME, COMMAND_LINE FROM Indirection ORDER BY KEY");
  }
  // The change events after `afterKey` with their extended data and whether their
  // process row exists: EVENT_TYPE, EX_EVENT_TYPE, PARAM_0..PARAM_5, process row.
  SqlRows EventsAfter(int64_t afterKey) {
    return Sql("SELECT c.EVENT_TYPE, IFNULL(e.EX_EVENT_TYPE, ''), IFNULL(e.PARAM_0, ''), "
               "IFNULL(e.PARAM_1, ''), IFNULL(e.PARAM_2, ''), IFNULL(e.PARAM_4, ''), "
               "IFNULL(e.PARAM_5, ''), (SELECT COUNT(*) FROM Processes p WHERE p.KEY = "
               "c.PROCESS_ENTRY_KEY AND e.PARAM_3 = CAST(p.KEY AS TEXT)) FROM ChangeEvents c "
               "LEFT JOIN ExtendedEvent e ON e.CHANGE_EVENT_KEY = c.KEY WHERE c.KEY > " +
               std::to_string(afterKey) + " ORDER BY c.KEY");
  }
  int64_t LastEventKey() {
    const SqlRows rows = Sql("SELECT IFNULL(MAX(KEY), 0) FROM ChangeEvents");
    return std::stoll(rows.at(0).at(0));
  }

 private:
  static Platform::Handle RootOf(std::u16string_view path) {
    return path.starts_with(u"HKU\\") ? Platform::kHkeyUsers : Platform::kHkeyLocalMachine;
  }
  static std::u16string_view SubKeyOf(std::u16string_view path) {
    return path.substr(path.find(u'\\') + 1);
  }
  static std::string Text(std::u16string_view text) {
    while (!text.empty() && text.back() == u'\0') text.remove_suffix(1);
    return Platform::Utf16ToUtf8(std::u16string(text));
  }
  static std::string DataText(uint32_t type, const Bytes& data) {
    if (type == Platform::kRegDword && data.size() == 4) {
      return "dword " + std::to_string(data[0] | data[1] << 8 | data[2] << 16 | uint32_t{data[3]} << 24);
    }
    if (type != Platform::kRegSz && type != Platform::kRegExpandSz && type != Platform::kRegMultiSz) {
      return "type " + std::to_string(type) + ", " + std::to_string(data.size()) + " bytes";
    }
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    // The items of a list shown apart.
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    if (type == Platform::kRegMultiSz) std::replace(text.begin(), text.end(), u'\0', u'|');
    return "\"" + Text(text) + "\"";
  }
  void Note(std::string step) { steps_.push_back(std::move(step)); }
  void ReportFile(uint32_t op, const std::u16string& path, const std::u16string& newPath = u"") {
    queue_.Add(EngineTest::MakeFileEntry(System(), op, path, newPath));
    if (!holding_) Engine().Dispatch();
  }
  void Report(uint32_t op, std::u16string_view path, std::u16string_view name, uint32_t type,
              const Bytes& data, uint64_t processId) {
    const std::u16string native =
        (RootOf(path) == Platform::kHkeyUsers ? u"\\REGISTRY\\USER\\" : u"\\REGISTRY\\MACHINE\\") +
        std::u16string(SubKeyOf(path));
    Bytes bytes = EngineTest::Wide(native);
    if (op != Intake::kOpRegistryKeyDeleted) {
      const Bytes wideName = EngineTest::Wide(name);
      bytes.insert(bytes.end(), wideName.begin(), wideName.end());
      bytes.insert(bytes.end(), data.begin(), data.end());
    }
    // The entry copies what it keeps of the record.
    const Intake::DriverRecord record{.dataLength = static_cast<uint32_t>(bytes.size()),
                              .id2 = processId, .operation = op, .detail = type, .data = bytes};
    queue_.Add(std::make_unique<Intake::RegistryEntry>(System(), record));
    // Handled at once, as the service handles a change long before the next one,
    // unless the test holds the changes back to make a burst.
    if (!holding_) Engine().Dispatch();
  }

 public:
  // A process start or end as the driver reports it, queued like the changes.
  void Process(uint32_t state, uint64_t processId, std::u16string_view image) {
    queue_.Add(std::make_unique<Intake::ProcessEntry>(System(), 4, processId, state, std::u16string(image),
                                              u"NT AUTHORITY\\SYSTEM"));
    if (!holding_) Engine().Dispatch();
  }
  // Changes made while held stay queued; Release hands them to one dispatch pass.
  void Hold() { holding_ = true; }
  void Release() {
    holding_ = false;
    Engine().Dispatch();
  }

 private:
  bool holding_ = false;
  std::vector<std::string> steps_;
};

}  // namespace LiveTest
