// Names and data that hostile software writes on purpose, followed from a scenario
// line to the LoadPoints row, and through their removal to the report's listing and
// JSON lines.

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "fault_image.h"
#include "platform/text_encoding.h"
#include "platform/win32_types.h"

namespace {

using Platform::Utf16ToUtf8;
using Platform::Utf8ToUtf16;

constexpr int32_t kRunType = 1;
constexpr int32_t kDebuggerType = 47;
constexpr int32_t kUserStartupType = 28;
constexpr char kDebuggerKey[] = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";

struct Hostile {
  std::u16string name;
  std::u16string data;
};

// 16,383 characters, the longest value name there is, of mixed kinds.
std::u16string LongestName() {
  const std::u16string pattern = u"Ab'%\\\u03A9 ";
  std::u16string name;
  while (name.size() < 16383) name += pattern[name.size() % pattern.size()];
  name.back() = u'z';  // a trailing backslash would escape the closing quote
  return name;
}

// The names a scenario line can carry: quotes, backslashes, percent signs, a raw
// carriage return inside quotes, characters outside the Basic Multilingual Plane.
std::vector<Hostile> LineValues() {
  return {{u"it's \"quoted\"", u"\"C:\\it's\\q.exe\" -x \"a b\""},
          {u"back\\slash\\\\twice", u"C:\\a\\\\b.exe"},
          {u"100% %PATH% %%", u"%SystemRoot%\\x.exe %1 %%"},
          {u"cr\ronly", u"a\rb"},
          {u"\U0001F600 \U0001D11E \U0002000B", u"C:\\\U0001F600\\\U0001D11E.exe"},
          {LongestName(), u"C:\\long.exe"}};
}

// What no scenario line can spell (reg.exe cannot either) but RegSetValueEx takes:
// line feeds and a surrogate without its partner. Played as parsed actions.
std::vector<Hostile> ApiValues() {
  return {{u"line\none\r\ntwo", u"C:\\x.exe\n-y"},
          {std::u16string(u"half ") + char16_t(0xD83D) + u" only", std::u16string(u"C:\\") + char16_t(0xDC00) + u".exe"}};
}

const std::u16string kOddKey = u"it's 100% \"odd\" \U0001F600.exe";
const std::u16string kShortcut = u"O'Brien's \u00ABЯрлык\u00BB 启动 شريط.lnk";

std::string Quoted(const std::u16string& text) {
  std::string out = "\"";
  for (const char c : Utf16ToUtf8(text)) out += c == '"' ? std::string("\\\"") : std::string(1, c);
  return out + "\"";
}

Sim::ScenarioAction SetValue(const Hostile& value, bool remove) {
  Sim::ScenarioAction action;
  action.kind = remove ? Sim::ActionKind::kRegDelete : Sim::ActionKind::kRegAdd;
  action.processId = FaultImage::kExplorer;
  action.keyPath = Utf8ToUtf16(FaultImage::kRunKey);
  action.target = Sim::ValueTarget::kNamed;
  action.valueName = value.name;
  action.valueType = Platform::kRegSz;
  for (const char16_t unit : value.data + u'\0') {
    action.data.push_back(static_cast<uint8_t>(unit));
    action.data.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return action;
}

std::string Adds(const std::u16string& bigData) {
  std::ostringstream text;
  const std::string run = std::string("2000 reg add \"") + FaultImage::kRunKey + "\" /v ";
  for (const Hostile& value : LineValues()) text << run << Quoted(value.name) << " /d " << Quoted(value.data) << " /f\n";
  text << run << "Big /d " << Quoted(bigData) << " /f\n";
  text << "2000 reg add " << Quoted(Utf8ToUtf16(kDebuggerKey) + kOddKey) << " /v Debugger /d \"C:\\dbg \\\"x\\\".exe\" /f\n";
  text << "2000 file create " << Quoted(std::u16string(FaultImage::kStartupFolder) + u"\\" + kShortcut) << "\n";
  return text.str();
}

std::string Removals() {
  std::ostringstream text;
  for (const Hostile& value : LineValues())
    text << "2000 reg delete \"" << FaultImage::kRunKey << "\" /v " << Quoted(value.name) << " /f\n";
  text << "2000 reg delete \"" << FaultImage::kRunKey << "\" /v Big /f\n";
  text << "2000 reg delete " << Quoted(Utf8ToUtf16(kDebuggerKey) + kOddKey) << " /f\n";
  text << "2000 file delete " << Quoted(std::u16string(FaultImage::kStartupFolder) + u"\\" + kShortcut) << "\n";
  return text.str();
}

void ExpectRow(const FaultImage& image, int32_t type, const std::u16string& entry,
               const std::u16string& commandLine) {
  StoredLoadPoint row;
  ASSERT_TRUE(image.Find(type, entry, &row)) << "no row for " << Utf16ToUtf8(entry).substr(0, 80);
  EXPECT_EQ(row.commandLine, commandLine) << Utf16ToUtf8(entry).substr(0, 80);
}

// The listing keeps one block per change: a line with the time, then indented
// detail lines (the acting process's image facts under its "by:" line; a summary's
// one line of plain words), whatever the names hold.
void ExpectListingLayout(const std::string& listing) {
  std::istringstream lines(listing);
  std::string line;
  bool summary = false;
  while (std::getline(lines, line)) {
    const bool head = line.size() > 20 && line[4] == '-' && line[7] == '-' && line[13] == ':';
    const bool explained = summary && line.rfind("    ", 0) == 0 && line.size() > 4 &&
                           line[4] >= 'a' && line[4] <= 'z' && line.find(':') == std::string::npos;
    summary = head && (line.find("rescan found changes") != std::string::npos ||
                       line.find("settings checked") != std::string::npos);
    const bool detail = explained || line.rfind("    where: ", 0) == 0 ||
                        line.rfind("    note: ", 0) == 0 ||
                        line.rfind("    old: ", 0) == 0 || line.rfind("    new: ", 0) == 0 ||
                        line.rfind("    by:  ", 0) == 0 ||
                        (line.rfind("         ", 0) == 0 && line.size() > 9 && line[9] != ' ');
    EXPECT_TRUE(head || detail) << "a line out of layout: " << line.substr(0, 120);
  }
}

TEST(HostileNames, ReachTheRowsExactlyAndTheReportWhole) {
  FaultImage image;
  const std::u16string bigData = u"C:\\big.exe " + std::u16string(512 * 1024, u'\u00E9');  // 1 MB
  Sim::Scenario adds = FaultImage::Parse(Adds(bigData) + "wait 300\n");
  for (const Hostile& value : ApiValues()) adds.actions.insert(adds.actions.begin(), SetValue(value, false));
  EXPECT_EQ(image.Run(adds), "");

  for (const Hostile& value : LineValues()) ExpectRow(image, kRunType, value.name, value.data);
  for (const Hostile& value : ApiValues()) ExpectRow(image, kRunType, value.name, value.data);
  ExpectRow(image, kRunType, u"Steady", u"C:\\steady.exe");
  ExpectRow(image, kDebuggerType, kOddKey, u"C:\\dbg \"x\".exe");
  ExpectRow(image, kUserStartupType, kShortcut, std::u16string(FaultImage::kStartupFolder) + u"\\" + kShortcut);
  // Data past the scan's buffer is skipped as Windows skips it; if a row is ever
  // kept, it must hold the whole text, not a cut one.
  StoredLoadPoint big;
  if (image.Find(kRunType, u"Big", &big)) EXPECT_TRUE(big.commandLine == bigData);

  Sim::Scenario removals = FaultImage::Parse(Removals() + "wait 300\n");
  for (const Hostile& value : ApiValues()) removals.actions.insert(removals.actions.begin(), SetValue(value, true));
  EXPECT_EQ(image.Run(removals), "");
  StoredLoadPoint gone;
  for (const Hostile& value : LineValues()) EXPECT_FALSE(image.Find(kRunType, value.name, &gone));
  // A shortcut deleted while the service watches leaves no details to report.
  EXPECT_FALSE(image.Find(kUserStartupType, kShortcut, &gone));

  std::set<std::string> removed;
  std::istringstream lines(image.Report(true));
  std::string line;
  while (std::getline(lines, line)) {
    nlohmann::json event;
    ASSERT_NO_THROW(event = nlohmann::json::parse(line)) << line.substr(0, 200);
    if (event["event"] == "removed") removed.insert(event["entry"].get<std::string>());
  }
  for (const auto& values : {LineValues(), ApiValues()})
    for (const Hostile& value : values)
      EXPECT_EQ(removed.count(Utf16ToUtf8(value.name)), 1u) << Utf16ToUtf8(value.name).substr(0, 80);
  EXPECT_EQ(removed.count(Utf16ToUtf8(kOddKey)), 1u);

  const std::string listing = image.Report(false);
  ExpectListingLayout(listing);
  EXPECT_NE(listing.find("line\u240Aone\u240D\u240Atwo"), std::string::npos);
  EXPECT_NE(listing.find("\U0001F600 \U0001D11E"), std::string::npos);
}

}  // namespace
