// Regedit files: every accepted form, rejection without partial effects, export and
// import giving back the same tree, and real exports from Windows machines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/byte_order.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/regedit/regedit_export.h"
#include "platform/emulated/regedit/regedit_import.h"
#include "platform/emulated/regedit/regedit_parse.h"
#include "platform/emulated/registry/registry_store.h"
#include "platform/scoped_handle.h"
#include "platform/text_encoding.h"

namespace {

using namespace Platform;
using Emulated::RegistryValue;

// A REG_SZ's data.
std::vector<uint8_t> Text(std::u16string_view text) { return Utf16LeBytesWithNul(text); }

std::vector<uint8_t> Utf8(std::string_view text) { return {text.begin(), text.end()}; }

// A regedit file's bytes: UTF-16LE after its byte-order mark.
std::vector<uint8_t> Utf16(std::u16string_view text) {
  std::vector<uint8_t> bytes{0xFF, 0xFE};
  AppendUtf16Le(bytes, text);
  return bytes;
}

class RegeditTest : public ::testing::Test {
 protected:
  Emulated::RegistryStore& Store() { return machine_.RegistryState(); }
  std::optional<RegistryValue> Value(std::u16string_view path, std::u16string_view name) {
    auto copy = Store().CopyTree(path);
    if (!copy) return std::nullopt;
    for (const RegistryValue& value : copy->values) {
      if (value.name == name) return value;
    }
    return std::nullopt;
  }
  bool Import(std::string_view text, std::u16string* error = nullptr) {
    std::u16string ignored;
    return Emulated::ImportRegedit(Store(), Utf8(text), u"t.reg", error ? error : &ignored);
  }
  Emulated::Machine machine_{Emulated::MachineConfig{}};
};

TEST_F(RegeditTest, ReadsEveryValueForm) {
  const std::u16string file =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"; a comment\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Forms]\r\n"
      u"@=\"default\"\r\n"
      u"\"Quote\\\"And\\\\Slash\"=\"C:\\\\dir\\\\\"\r\n"
      u"\"Dword\"=dword:036ee800\r\n"
      u"\"Bin\"=hex:01,02,\\\r\n"
      u"  ff\r\n"
      u"\"Expand\"=hex(2):25,00,00,00\r\n"
      u"\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
      u"\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      u"\"Empty\"=hex(0):\r\n"
      u"\"Gone\"=\"x\"\r\n"
      u"\"Gone\"=-\r\n"
      u"[HKLM\\SOFTWARE\\Forms\\Doomed\\Child]\r\n"
      u"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Forms\\Doomed]\r\n"
      u"[HKCR\\.x]\r\n"
      u"@=\"xfile\"\r\n";
  std::u16string error;
  ASSERT_TRUE(Emulated::ImportRegedit(Store(), Utf16(file), u"forms.reg", &error)) << Utf16ToUtf8(error);
  const std::u16string key = u"MACHINE\\SOFTWARE\\Forms";
  EXPECT_EQ(Value(key, u"")->data, Text(u"default"));
  EXPECT_EQ(Value(key, u"Quote\"And\\Slash")->data, Text(u"C:\\dir\\"));
  EXPECT_EQ(Value(key, u"Dword")->data, (std::vector<uint8_t>{0x00, 0xe8, 0x6e, 0x03}));
  EXPECT_EQ(Value(key, u"Bin")->data, (std::vector<uint8_t>{1, 2, 0xff}));
  EXPECT_EQ(Value(key, u"Bin")->type, kRegBinary);
  EXPECT_EQ(Value(key, u"Expand")->type, kRegExpandSz);
  EXPECT_EQ(Value(key, u"Multi")->type, kRegMultiSz);
  EXPECT_EQ(Value(key, u"Qword")->type, kRegQword);
  EXPECT_TRUE(Value(key, u"Empty")->data.empty());
  EXPECT_FALSE(Value(key, u"Gone"));
  EXPECT_FALSE(Store().CopyTree(key + u"\\Doomed"));
  EXPECT_EQ(Value(u"MACHINE\\SOFTWARE\\Classes\\.x", u"")->data, Text(u"xfile"));
}

TEST_F(RegeditTest, MalformedFileNamesFileAndLineAndChangesNothing) {
  struct Case {
    std::string text;
    std::string message;
  };
  const std::string head = "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad]\n\"ok\"=\"1\"\n";
  const std::vector<Case> cases = {
      {"REGEDIT4\n", "t.reg:1: "},
      {head + "\"v\"=dword:123456789\n", "t.reg:4: "},
      {head + "\"v\"=hex:01,zz\n", "t.reg:4: "},
      {head + "\"v\"=hex:01,\\\n  02,\\\n  0g\n", "t.reg:4: "},
      {head + "\"v\"=\"unterminated\n", "t.reg:4: "},
      {head + "[HKEY_NOWHERE\\x]\n", "t.reg:4: unknown root"},
      {head + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\open\n", "t.reg:4: "},
      {head + "garbage\n", "t.reg:4: "},
      {"Windows Registry Editor Version 5.00\n\"v\"=\"1\"\n", "t.reg:2: "},
  };
  for (const Case& c : cases) {
    std::u16string error;
    EXPECT_FALSE(Import(c.text, &error)) << c.text;
    EXPECT_TRUE(Utf16ToUtf8(error).starts_with(c.message)) << Utf16ToUtf8(error);
  }
  EXPECT_FALSE(Store().CopyTree(u"MACHINE\\SOFTWARE\\Bad"));
}

TEST_F(RegeditTest, ExportThenImportGivesBackTheSameTree) {
  Registry& reg = machine_.Process(4).Registry();
  ScopedKey key;
  ASSERT_EQ(reg.CreateKey(kHkeyLocalMachine, u"SOFTWARE\\Round\\Sub \"q\"\\Deeper", 0, kKeyAllAccess,
                          key.Receive(reg), nullptr),
            kErrorSuccess);
  const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> values = {
      {kRegSz, Text(u"plain \"quoted\" \\ back")},
      {kRegSz, {0x41, 0x00}},                    // no terminator: must survive as bytes
      {kRegSz, Text(u"two\r\nlines")},
      {kRegDword, {1, 2, 3}},                    // a short DWORD stays short
      {kRegDword, {0xff, 0xff, 0xff, 0xff}},
      {kRegBinary, std::vector<uint8_t>(200, 0xab)},
      {kRegMultiSz, Text(u"a")},
      {0x12345678, {9}},
      {kRegNone, {}},
  };
  for (size_t i = 0; i < values.size(); ++i) {
    const std::u16string name = i == 0 ? u"" : u"v" + std::u16string(1, static_cast<char16_t>(u'a' + i));
    ASSERT_EQ(reg.SetValue(key.Get(), name, values[i].first, values[i].second), kErrorSuccess);
  }
  const auto before = Store().CopyTree(u"MACHINE\\SOFTWARE\\Round");
  for (bool utf16 : {true, false}) {
    const auto file = Emulated::ExportRegedit(Store(), u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Round", utf16);
    ASSERT_EQ(reg.DeleteTree(kHkeyLocalMachine, u"SOFTWARE\\Round"), kErrorSuccess);
    std::u16string error;
    ASSERT_TRUE(Emulated::ImportRegedit(Store(), file, u"round.reg", &error)) << Utf16ToUtf8(error);
    const auto after = Store().CopyTree(u"MACHINE\\SOFTWARE\\Round");
    ASSERT_TRUE(after);
    const auto& deeper = after->subkeys.at(0).subkeys.at(0);
    EXPECT_EQ(deeper.values, before->subkeys.at(0).subkeys.at(0).values);
    EXPECT_EQ(after->subkeys.at(0).name, u"Sub \"q\"");
  }
}

TEST_F(RegeditTest, HiveExportsDoNotFollowLinksAndReturnHome) {
  ASSERT_TRUE(Import("Windows Registry Editor Version 5.00\n"
                     "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Svc]\n\"Start\"=dword:2\n"
                     "[HKEY_USERS\\S-1-5-21-7\\Software\\App]\n\"x\"=\"y\"\n"));
  const auto system = Emulated::ExportRegedit(Store(), u"HKEY_LOCAL_MACHINE\\SYSTEM", false);
  const std::string text(system.begin(), system.end());
  EXPECT_EQ(text.find("CurrentControlSet"), std::string::npos);
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\Svc]\r\n\"Start\"=dword:00000002"),
            std::string::npos);

  const auto user = Emulated::ExportRegedit(Store(), u"HKEY_USERS\\S-1-5-21-7");
  machine_.RegistryState().UnloadUserHives(u"S-1-5-21-7");
  std::u16string error;
  ASSERT_TRUE(Emulated::ImportRegedit(Store(), user, u"NTUSER.reg", &error));
  EXPECT_EQ(Value(u"USER\\S-1-5-21-7\\Software\\App", u"x")->data, Text(u"y"));
}

class RealRegeditTest : public RegeditTest {
 protected:
  virtual std::filesystem::path Folder() const {
    return std::filesystem::path(BRUMEVALE_SHARED_DIR) / "testdata/real/registry";
  }
  std::vector<uint8_t> Load(const std::string& name) {
    std::ifstream in(Folder() / name, std::ios::binary);
    EXPECT_TRUE(in) << (Folder() / name);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void SetUp() override {
    if (!std::filesystem::exists(Folder())) GTEST_SKIP() << "real regedit exports not found under " << Folder();
  }
  // Every value the file sets reads back through a process's view, byte for byte.
  void ExpectReadBack(const std::vector<uint8_t>& bytes) {
    std::vector<Emulated::RegistryEdit> edits;
    std::u16string error;
    ASSERT_TRUE(Emulated::ParseRegedit(bytes, u"real.reg", u".DEFAULT", &edits, &error));
    Registry& reg = machine_.Process(4).Registry();
    size_t checked = 0;
    for (const auto& edit : edits) {
      if (edit.kind != Emulated::RegistryEdit::Kind::kSetValue) continue;
      ScopedKey key;
      ASSERT_EQ(reg.OpenKey(kHkeyLocalMachine, std::u16string_view(edit.keyPath).substr(8), kKeyRead,
                            key.Receive(reg)),
                kErrorSuccess);
      std::vector<uint8_t> data;
      uint32_t type = 0;
      ASSERT_EQ(reg.QueryValue(key.Get(), edit.valueName, &type, &data, 2048, nullptr), kErrorSuccess);
      EXPECT_EQ(type, edit.type);
      EXPECT_EQ(data, edit.data);
      ++checked;
    }
    EXPECT_GT(checked, 10u);
  }
};

TEST_F(RealRegeditTest, SvchostServiceReadsBackValueForValue) {
  const auto bytes = Load("service_wuauserv_svchost_netsvcs.reg");
  std::u16string error;
  ASSERT_TRUE(Emulated::ImportRegedit(Store(), bytes, u"svc.reg", &error)) << Utf16ToUtf8(error);
  ExpectReadBack(bytes);
  const std::u16string service = u"MACHINE\\SYSTEM\\ControlSet001\\services\\wuauserv";
  EXPECT_EQ(Value(service, u"ImagePath")->type, kRegExpandSz);
  EXPECT_EQ(Value(service, u"ImagePath")->data, Text(u"%systemroot%\\system32\\svchost.exe -k netsvcs"));
  EXPECT_EQ(Value(service, u"DependOnService")->data,
            (std::vector<uint8_t>{'r', 0, 'p', 0, 'c', 0, 's', 0, 's', 0, 0, 0, 0, 0}));
  EXPECT_EQ(Value(service, u"PreshutdownTimeout")->data, (std::vector<uint8_t>{0x00, 0xe8, 0x6e, 0x03}));
}

TEST_F(RealRegeditTest, WinsockCatalogReadsBackValueForValue) {
  const auto bytes = Load("winsock2_win10_with_lsp.reg");
  std::u16string error;
  ASSERT_TRUE(Emulated::ImportRegedit(Store(), bytes, u"winsock.reg", &error)) << Utf16ToUtf8(error);
  ExpectReadBack(bytes);
  const auto parameters = Value(u"MACHINE\\SYSTEM\\ControlSet001\\Services\\WinSock2\\Parameters",
                                u"Current_Protocol_Catalog");
  ASSERT_TRUE(parameters);
  EXPECT_EQ(parameters->data, Text(u"Protocol_Catalog9"));
}

// The exports made for this repository (tests/fixtures/make_fixtures.py), in the
// same shapes: every clone runs these.
class FixtureRegeditTest : public RealRegeditTest {
 protected:
  std::filesystem::path Folder() const override {
    return std::filesystem::path(BRUMEVALE_FIXTURES_DIR) / "registry";
  }
};

TEST_F(FixtureRegeditTest, ServiceExportReadsBackValueForValue) {
  const auto bytes = Load("service_svchost_relay.reg");
  std::u16string error;
  ASSERT_TRUE(Emulated::ImportRegedit(Store(), bytes, u"svc.reg", &error)) << Utf16ToUtf8(error);
  ExpectReadBack(bytes);
  const std::u16string service = u"MACHINE\\SYSTEM\\ControlSet001\\services\\TideRelay";
  EXPECT_EQ(Value(service, u"ImagePath")->type, kRegExpandSz);
  EXPECT_EQ(Value(service, u"ImagePath")->data, Text(u"%SystemRoot%\\System32\\svchost.exe -k relaygroup -p"));
  EXPECT_EQ(Value(service, u"Description")->data,
            Text(u"Keeps the \"tide\" relay in step; C:\\Relay holds its queue."));
  EXPECT_EQ(Value(service, u"DependOnService")->type, kRegMultiSz);
  EXPECT_EQ(Value(service, u"DependOnService")->data,
            (std::vector<uint8_t>{'R', 0, 'p', 0, 'c', 0, 'S', 0, 's', 0, 0, 0,
                                  'T', 0, 'c', 0, 'p', 0, 'i', 0, 'p', 0, 0, 0, 0, 0}));
  EXPECT_EQ(Value(service, u"PreshutdownTimeout")->data, (std::vector<uint8_t>{0xc0, 0xd4, 0x01, 0x00}));
  EXPECT_EQ(Value(service + u"\\Security", u"Security")->data.size(), 64u);
}

TEST_F(FixtureRegeditTest, WinsockExportReadsBackValueForValue) {
  const auto bytes = Load("winsock2_layered.reg");
  std::u16string error;
  ASSERT_TRUE(Emulated::ImportRegedit(Store(), bytes, u"winsock.reg", &error)) << Utf16ToUtf8(error);
  ExpectReadBack(bytes);
  const auto item = Value(u"MACHINE\\SYSTEM\\ControlSet001\\Services\\WinSock2\\Parameters\\Protocol_Catalog9\\"
                          u"Catalog_Entries64\\000000000003",
                          u"PackedCatalogItem");
  ASSERT_TRUE(item);
  EXPECT_EQ(item->type, kRegBinary);
  EXPECT_EQ(item->data.size(), 888u);
}

}  // namespace
