#include <gtest/gtest.h>

#include "platform/win32_types.h"
#include "sim/scenario.h"

namespace {

using Sim::ActionKind;
using Sim::ValueTarget;

Sim::Scenario Parse(const std::string& text) {
  Sim::Scenario scenario;
  std::string error;
  EXPECT_TRUE(Sim::ParseScenario(text, "t.scenario", &scenario, &error)) << error;
  return scenario;
}

std::vector<uint8_t> Utf16(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

TEST(ScenarioParser, EveryActionWithItsArguments) {
  const Sim::Scenario s = Parse(
      "# setup\n"
      "\n"
      "1200:1204 reg add \"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\" /v Upd /t REG_SZ /d \"C:\\u p.exe\" /f\n"
      "1200 reg delete HKCU\\Software\\X /va /f\n"
      "1200 file write \"C:\\a b.txt\" \"one\\ntwo\"\n"
      "1200 file stream \"C:\\a.exe:Zone.Identifier\" \"[ZoneTransfer]\"\n"
      "1200 file rename C:\\a.txt C:\\b.txt\n"
      "1200 file create C:\\c.txt\n"
      "1200 file delete C:\\b.txt\n"
      "1200 process start \"C:\\x.exe\" owner=S-1-5-21-1 parent=8 pid=3000\n"
      "3000 process exit 3000\n"
      "1200 thread create tid=1300\n"
      "1200 thread exit 1204\n"
      "wait 300\n"
      "service stop\n"
      "service start\n");
  ASSERT_EQ(s.actions.size(), 14u);
  const auto& reg = s.actions[0];
  EXPECT_EQ(reg.line, 3);
  EXPECT_EQ(reg.processId, 1200u);
  EXPECT_EQ(reg.threadId, 1204u);
  EXPECT_EQ(reg.kind, ActionKind::kRegAdd);
  EXPECT_EQ(reg.target, ValueTarget::kNamed);
  EXPECT_EQ(reg.valueName, u"Upd");
  EXPECT_EQ(reg.data, Utf16(std::u16string(u"C:\\u p.exe") + u'\0'));
  EXPECT_EQ(s.actions[1].target, ValueTarget::kAllValues);
  EXPECT_EQ(s.actions[2].text, "one\ntwo");
  EXPECT_EQ(s.actions[3].kind, ActionKind::kFileStream);
  EXPECT_EQ(s.actions[4].newPath, u"C:\\b.txt");
  const auto& start = s.actions[7];
  EXPECT_EQ(start.image, u"C:\\x.exe");
  EXPECT_EQ(start.owner, u"S-1-5-21-1");
  EXPECT_EQ(start.parent, 8u);
  EXPECT_EQ(start.fixedId, 3000u);
  EXPECT_EQ(s.actions[8].subjectId, 3000u);
  EXPECT_EQ(s.actions[9].fixedId, 1300u);
  EXPECT_EQ(s.actions[10].subjectId, 1204u);
  EXPECT_EQ(s.actions[11].seconds, 300);
  EXPECT_EQ(s.actions[12].kind, ActionKind::kServiceStop);
  EXPECT_EQ(s.actions[13].kind, ActionKind::kServiceStart);
}

TEST(ScenarioParser, RegistryDataInEachType) {
  const Sim::Scenario s = Parse(
      "1 reg add HKLM\\K /v M /t REG_MULTI_SZ /d \"a\\0bc\"\n"
      "1 reg add HKLM\\K /v D /t REG_DWORD /d 0x10\n"
      "1 reg add HKLM\\K /v Q /t reg_qword /d 1\n"
      "1 reg add HKLM\\K /v B /t REG_BINARY /d 00ff\n"
      "1 reg add HKLM\\K /ve /d x\n"
      "1 reg add HKLM\\K\n"
      "1 reg delete HKLM\\K /ve\n"
      "1 reg delete HKLM\\K /f\n");
  EXPECT_EQ(s.actions[0].valueType, Platform::kRegMultiSz);
  EXPECT_EQ(s.actions[0].data, Utf16(std::u16string(u"a\0bc\0\0", 6)));
  EXPECT_EQ(s.actions[1].data, (std::vector<uint8_t>{0x10, 0, 0, 0}));
  EXPECT_EQ(s.actions[2].data, (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(s.actions[3].data, (std::vector<uint8_t>{0, 0xff}));
  EXPECT_EQ(s.actions[4].target, ValueTarget::kDefault);
  EXPECT_EQ(s.actions[4].valueType, Platform::kRegSz);
  EXPECT_EQ(s.actions[5].target, ValueTarget::kKey);
  EXPECT_EQ(s.actions[6].target, ValueTarget::kDefault);
  EXPECT_EQ(s.actions[7].target, ValueTarget::kKey);
}

// A task definition as the scheduler writes it: UTF-16LE after FF FE, CR LF line
// ends; a character outside the BMP becomes a surrogate pair.
TEST(ScenarioParser, FileTextAndCopies) {
  const Sim::Scenario s = Parse(
      "1 file write C:\\t.xml \"<a>\\r\\n\xF0\x9F\x98\x80</a>\" encoding=UTF-16LE\n"
      "1 file stream \"C:\\a.exe:Zone.Identifier\" \"x\\qy\\\\n\" encoding=utf-8\n"
      "1 file copy \"D:\\setup\\agent.exe\" \"C:\\Program Files\\A\\agent.exe\"\n");
  ASSERT_EQ(s.actions.size(), 3u);
  EXPECT_EQ(s.actions[0].encoding, Sim::TextEncoding::kUtf16Le);
  EXPECT_EQ(Sim::EncodeFileText(s.actions[0].text, s.actions[0].encoding),
            (std::vector<uint8_t>{0xFF, 0xFE, '<', 0, 'a', 0, '>', 0, '\r', 0, '\n', 0, 0x3D, 0xD8,
                                  0x00, 0xDE, '<', 0, '/', 0, 'a', 0, '>', 0}));
  // Only \n, \r, \t and \\ are escapes; other backslashes stay as written.
  EXPECT_EQ(Sim::EncodeFileText(s.actions[1].text, s.actions[1].encoding),
            (std::vector<uint8_t>{'x', '\\', 'q', 'y', '\\', 'n'}));
  EXPECT_EQ(s.actions[2].kind, ActionKind::kFileCopy);
  EXPECT_EQ(s.actions[2].path, u"D:\\setup\\agent.exe");
  EXPECT_EQ(s.actions[2].newPath, u"C:\\Program Files\\A\\agent.exe");
}

TEST(ScenarioParser, FileHoldSharesNothingUnlessToldToShareReads) {
  const Sim::Scenario s = Parse("1200 file hold \"C:\\a b.dll\"\n1200 file hold C:\\c.dll share=read\n"
                                "1200 file hold C:\\d.dll share=none\n");
  ASSERT_EQ(s.actions.size(), 3u);
  EXPECT_EQ(s.actions[0].kind, ActionKind::kFileHold);
  EXPECT_EQ(s.actions[0].path, u"C:\\a b.dll");
  EXPECT_EQ(s.actions[0].share, 0u);
  EXPECT_EQ(s.actions[1].share, Platform::kFileShareRead);
  EXPECT_EQ(s.actions[2].share, 0u);
}

TEST(ScenarioParser, DriverAndUserActionsOfTheMachine) {
  const Sim::Scenario s = Parse(
      "driver stop\n"
      "driver start\n"
      "user logon tobias\n"
      "user logoff \"DESKTOP\\tobias\"\n");
  ASSERT_EQ(s.actions.size(), 4u);
  EXPECT_EQ(s.actions[0].kind, ActionKind::kDriverStop);
  EXPECT_EQ(s.actions[1].kind, ActionKind::kDriverStart);
  EXPECT_EQ(s.actions[2].kind, ActionKind::kUserLogon);
  EXPECT_EQ(s.actions[2].userName, u"tobias");
  EXPECT_EQ(s.actions[3].kind, ActionKind::kUserLogoff);
  EXPECT_EQ(s.actions[3].userName, u"DESKTOP\\tobias");
}

TEST(ScenarioParser, MalformedLineNamedWithItsNumber) {
  const std::pair<const char*, const char*> cases[] = {
      {"1 reg add HKXX\\K /v a", "needs a key starting with HKLM"},
      {"1 reg add HKLM\\K /v a /t REG_WEIRD", "unknown value type"},
      {"1 reg add HKLM\\K /v a /t REG_DWORD /d 4294967296", "not a 32-bit number"},
      {"1 reg add HKLM\\K /v a /t REG_BINARY /d 0g", "pairs of hex digits"},
      {"1 reg add HKLM\\K /v", "/v needs an argument"},
      {"1 reg delete HKLM\\K /v a /va", "only one of"},
      {"1 file write \"C:\\x", "quote is not closed"},
      {"1 file stream C:\\x abc", "stream name"},
      {"1 file move C:\\x C:\\y", "file needs create"},
      {"1 file copy C:\\x", "file copy takes a source and a destination path"},
      {"1 file write C:\\x.xml text encoding=latin1", "unknown encoding \"latin1\" (utf-8 or utf-16le)"},
      {"1 file write C:\\x.xml text utf-16le", "unknown file option \"utf-16le\""},
      {"1 file copy C:\\x C:\\y encoding=utf-8", "file copy takes"},
      {"1 file hold C:\\x share=write", "file hold takes a path, then optionally share=none or share=read"},
      {"1 file hold C:\\x share=read now", "file hold takes"},
      {"1 process start C:\\x.exe user=a", "unknown process start option"},
      {"1 thread exit", "thread exit needs one thread id"},
      {"1", "nothing to do"},
      {"wait soon", "whole number of seconds"},
      {"reg add HKLM\\K", "needs the acting process first"},
      {"service pause", "service needs stop or start"},
      {"driver", "driver needs stop or start"},
      {"driver unload", "driver needs stop or start"},
      {"user logon", "user needs logon or logoff and one user name"},
      {"user logout tobias", "user needs logon or logoff"},
      {"user logon tobias ann", "one user name"},
      {"4 user logon tobias", "unknown action \"user\""},
      {"reboot", "unknown action \"reboot\""},
  };
  for (const auto& [line, message] : cases) {
    Sim::Scenario scenario;
    std::string error;
    EXPECT_FALSE(Sim::ParseScenario(std::string("# ok\nwait 1\n") + line + "\nwait 2\n", "t.scenario",
                                    &scenario, &error));
    EXPECT_EQ(error.rfind("t.scenario:3: ", 0), 0u) << error;
    EXPECT_NE(error.find(message), std::string::npos) << line << " -> " << error;
    EXPECT_TRUE(scenario.actions.empty());
  }
}

}  // namespace
