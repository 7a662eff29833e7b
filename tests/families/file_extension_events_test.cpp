// The one message of the .exe command handler: an event whose key path names no
// identifier is logged and changes nothing.

#include "families/file_extension_events.h"
#include "intake/brumevale_event.h"
#include "platform/text_encoding.h"
#include "support/engine_fixture.h"
#include "support/scan_test_machine.h"

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

}  // namespace
