// The .exe command handler: each write and deletion carries the value written and
// the one it replaced, and an event whose key path names no identifier is logged and
// changes nothing.

#include "families/file_extensions/file_extension_events.h"
#include "intake/brumevale_event.h"
#include "platform/text_encoding.h"
#include "support/engine_fixture.h"
#include "support/live_machine.h"
#include "support/scan_test_machine.h"

using Engine::LoadPointEngine;
using Intake::BrumevaleRegistryEvent;
using Intake::kOpRegistryValueSet;

namespace Families {

namespace {

std::string ReadLog(Platform::System& system, const std::u16string& path) {
  Platform::FileSystem& files = system.Files();
  Platform::ScopedFile file;
  if (files.CreateFile(path, Platform::kGenericRead, Platform::kFileShareRead | Platform::kFileShareWrite,
                       Platform::kOpenExisting, Platform::kFileAttributeNormal,
                       file.Receive(files)) != Platform::kErrorSuccess) {
    return "";
  }
  std::vector<uint8_t> bytes(4096);
  uint32_t read = 0;
  files.ReadFile(file.Get(), bytes, &read);
  std::u16string text;
  for (uint32_t i = 2; i + 1 < read; i += 2) text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  return Platform::Utf16ToUtf8(text);
}

TEST(FileExtensionEvents, PathTooShortForAnIdentifierIsLoggedAndIgnored) {
  ScanMachine machine;
  LoadPointEngine& engine = machine.Engine();
  ASSERT_TRUE(engine.Log().Open(u"C:\\events.log", 1));
  // Code 96 needs identifier, "shell", verb and "command": the second path is short too.
  const std::pair<const char16_t*, uint32_t> events[] = {
      {u"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes", 94},
      {u"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\exefile\\shell", 96}};
  for (const auto& [key, code] : events) {
    auto entry = EngineTest::MakeRegistryEntry(machine.System(), kOpRegistryValueSet, key, u"", u"x");
    BrumevaleRegistryEvent event(*entry, code, 0);
    HandleFileExtensionEvent(engine, event, 42);
  }
  engine.Log().Close();
  const std::string log = ReadLog(machine.System(), u"C:\\events.log");
  EXPECT_NE(log.find("[ERROR] Malformed file extension event: HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\r\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("event: HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\exefile\\shell\r\n"), std::string::npos)
      << log;
  EXPECT_TRUE(machine.Sql("SELECT KEY FROM FileExtension UNION SELECT KEY FROM ChangeEvents").empty());
}

constexpr char16_t kOpenCommand[] = u"HKLM\\SOFTWARE\\Classes\\exefile\\shell\\open\\command";
constexpr char kExeBoot[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.exe]\r\n@=\"exefile\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\exefile\\shell\\open\\command]\r\n"
    "@=\"\\\"%1\\\" %*\"\r\n";

// An installer takes over the command of every program, the user's tool puts it
// back, a cleaner deletes it: the takeover's text stays in the record, and each
// event names what it replaced.
TEST(FileExtensionEvents, TakeoverAndRestorationKeepTheirValues) {
  LiveTest::LiveMachine live(kExeBoot);
  const int64_t start = live.LastEventKey();
  const std::u16string original = u"\"%1\" %*";
  const std::u16string takeover = u"\"C:\\Program Files\\PixelMoor\\pmagent.exe\" --launch \"%1\" %*";
  live.SetSz(kOpenCommand, u"", takeover);
  live.SetSz(kOpenCommand, u"", original);
  live.SetSz(kOpenCommand, u"", original);
  live.DeleteValue(kOpenCommand, u"");
  // A verb the row did not have yet, in a user's classes hive.
  const std::u16string classes = std::u16string(u"HKU\\") + kAliceSid + u"_Classes";
  live.SetSz(classes + u"\\exefile\\shell", u"", u"runas");
  const std::string key = "exefile\\shell\\open\\command";
  const std::string before = "\"%1\" %*";
  const std::string taken = "\"C:\\Program Files\\PixelMoor\\pmagent.exe\" --launch \"%1\" %*";
  EXPECT_EQ(live.EventsAfter(start),
            (SqlRows{{"8", "2", "0", key, "", taken, before, "1"},
                     {"8", "2", "0", key, "", before, taken, "1"},
                     {"8", "2", "0", key, "", before, before, "1"},
                     {"14", "4", "0", key, "", before, "", "1"},
                     {"8", "1", "0", "exefile\\shell",
                      Platform::Utf16ToUtf8(kAliceSid) + "_Classes", "runas", "", "1"}}));
}

}  // namespace

}  // namespace Families
