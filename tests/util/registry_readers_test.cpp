#include "util/registry_readers.h"

#include <gtest/gtest.h>

#include "util/documented_buffers.h"
#include "util_machine.h"

namespace VyrUtilities {
namespace {

using Platform::kHkeyLocalMachine;
using UtilTest::SetValue;
using UtilTest::Utf16Bytes;
using List = std::vector<std::u16string>;

constexpr char16_t kKey[] = u"SOFTWARE\\Test";

class RegistryReadersTest : public UtilTest::MachineTest {
 protected:
  void Set(std::u16string_view name, uint32_t type, const std::vector<uint8_t>& data) {
    SetValue(System(), kHkeyLocalMachine, kKey, name, type, data);
  }
};

TEST_F(RegistryReadersTest, StringsEndAtFirstNulOrDataEnd) {
  Set(u"Sz", Platform::kRegSz, Utf16Bytes(std::u16string(u"abc\0def\0", 8)));
  Set(u"Expand", Platform::kRegExpandSz, Utf16Bytes(u"%SystemRoot%\\x"));  // no terminator
  std::u16string out;
  EXPECT_TRUE(ReadRegistryString(System(), kHkeyLocalMachine, kKey, u"sz", out));
  EXPECT_EQ(out, u"abc");
  EXPECT_TRUE(ReadRegistryString(System(), kHkeyLocalMachine, kKey, u"Expand", out));
  EXPECT_EQ(out, u"%SystemRoot%\\x");
}

TEST_F(RegistryReadersTest, WrongTypeOrMissingValueLeavesOutputAlone) {
  Set(u"Text", Platform::kRegSz, Utf16Bytes(std::u16string(u"12\0", 3)));
  Set(u"Number", Platform::kRegDword, {7, 0, 0, 0});
  uint32_t number = 99;
  EXPECT_FALSE(ReadRegistryDword(System(), kHkeyLocalMachine, kKey, u"Text", number));
  EXPECT_EQ(number, 99u);
  std::u16string text = u"keep";
  EXPECT_FALSE(ReadRegistryString(System(), kHkeyLocalMachine, kKey, u"Number", text));
  EXPECT_FALSE(ReadRegistryString(System(), kHkeyLocalMachine, kKey, u"Missing", text));
  EXPECT_FALSE(ReadRegistryString(System(), kHkeyLocalMachine, u"SOFTWARE\\None", u"", text));
  EXPECT_EQ(text, u"keep");
  std::vector<uint8_t> data{1};
  EXPECT_FALSE(ReadRegistryBinary(System(), kHkeyLocalMachine, kKey, u"Number", data));
  EXPECT_EQ(data, (std::vector<uint8_t>{1}));
}

TEST_F(RegistryReadersTest, MissingDefaultValueReadsAsEmptyText) {
  Set(u"Other", Platform::kRegSz, Utf16Bytes(std::u16string(u"x\0", 2)));
  std::u16string text = u"keep";
  EXPECT_FALSE(ReadRegistryString(System(), kHkeyLocalMachine, kKey, u"", text));
  EXPECT_EQ(text, u"");
}

TEST_F(RegistryReadersTest, TypedValuesReadBack) {
  Set(u"Number", Platform::kRegDword, {0x78, 0x56, 0x34, 0x12});
  Set(u"Blob", Platform::kRegBinary, {0, 1, 2, 0xFF});
  uint32_t number = 0;
  EXPECT_TRUE(ReadRegistryDword(System(), kHkeyLocalMachine, kKey, u"Number", number));
  EXPECT_EQ(number, 0x12345678u);
  std::vector<uint8_t> data{9, 9, 9, 9, 9, 9};
  EXPECT_TRUE(ReadRegistryBinary(System(), kHkeyLocalMachine, kKey, u"Blob", data));
  EXPECT_EQ(data, (std::vector<uint8_t>{0, 1, 2, 0xFF}));
}

TEST_F(RegistryReadersTest, MultiStringsAppendUpToDoubleNul) {
  Set(u"List", Platform::kRegMultiSz, Utf16Bytes(std::u16string(u"a\0b\0\0c\0\0", 8)));
  Set(u"EmptyFirst", Platform::kRegMultiSz, Utf16Bytes(std::u16string(u"\0x\0\0", 4)));
  Set(u"Unended", Platform::kRegMultiSz, Utf16Bytes(std::u16string(u"a\0tail", 6)));
  List list{u"old"};
  EXPECT_TRUE(ReadRegistryMultiString(System(), kHkeyLocalMachine, kKey, u"List", list));
  EXPECT_EQ(list, (List{u"old", u"a", u"b"}));
  list.clear();
  EXPECT_TRUE(ReadRegistryMultiString(System(), kHkeyLocalMachine, kKey, u"EmptyFirst", list));
  EXPECT_EQ(list, (List{u"", u"x"}));
  list.clear();
  EXPECT_TRUE(ReadRegistryMultiString(System(), kHkeyLocalMachine, kKey, u"Unended", list));
  EXPECT_EQ(list, (List{u"a"}));
}

TEST_F(RegistryReadersTest, WrittenStringCarriesItsTerminator) {
  Platform::Registry& registry = System().Registry();
  Platform::ScopedKey key;
  ASSERT_EQ(registry.CreateKey(kHkeyLocalMachine, kKey, 0, Platform::kKeyAllAccess,
                               key.Receive(registry), nullptr),
            Platform::kErrorSuccess);
  ASSERT_TRUE(WriteRegistryString(System(), key.Get(), u"Path", u"C:\\x"));
  uint32_t type = 0, size = 0;
  std::vector<uint8_t> data;
  ASSERT_EQ(registry.QueryValue(key.Get(), u"Path", &type, &data, 100, &size),
            Platform::kErrorSuccess);
  EXPECT_EQ(type, Platform::kRegSz);
  EXPECT_EQ(data, Utf16Bytes(std::u16string(u"C:\\x\0", 5)));
}

TEST_F(RegistryReadersTest, EnumerateSubkeysAppendsAndCounts) {
  for (std::u16string_view name : {u"beta", u"Alpha", u"gamma"}) {
    SetValue(System(), kHkeyLocalMachine, std::u16string(kKey) + u"\\" + std::u16string(name),
             u"v", Platform::kRegDword, {1, 0, 0, 0});
  }
  List list{u"old"};
  EXPECT_EQ(EnumerateSubkeys(System(), kHkeyLocalMachine, kKey, list), 3u);
  EXPECT_EQ(list, (List{u"old", u"Alpha", u"beta", u"gamma"}));
  EXPECT_EQ(EnumerateSubkeys(System(), kHkeyLocalMachine, u"SOFTWARE\\None", list), 0u);
}

// Far beyond the first 2048-byte buffer, with the longest value name there is: read
// whole by index and by name, the type with it; a missing value stays a failure.
TEST_F(RegistryReadersTest, WholeValueReadsGrowTheirBuffer) {
  const std::u16string name(16383, u'n');
  const std::vector<uint8_t> text = Utf16Bytes(std::u16string(40000, u'x') + u'\0');
  Set(name, Platform::kRegSz, text);
  Platform::Registry& registry = System().Registry();
  Platform::ScopedKey key;
  ASSERT_EQ(registry.OpenKey(kHkeyLocalMachine, kKey, Platform::kKeyRead, key.Receive(registry)),
            Platform::kErrorSuccess);
  std::u16string enumerated;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  ASSERT_EQ(EnumValueWhole(registry, key.Get(), 0, &enumerated, &type, &data), Platform::kErrorSuccess);
  EXPECT_EQ(enumerated, name);
  EXPECT_EQ(type, Platform::kRegSz);
  EXPECT_EQ(data, text);
  data.clear();
  ASSERT_EQ(QueryValueWhole(registry, key.Get(), name, &type, &data), Platform::kErrorSuccess);
  EXPECT_EQ(data, text);
  EXPECT_EQ(EnumValueWhole(registry, key.Get(), 1, &enumerated, &type, &data),
            Platform::kErrorNoMoreItems);
  EXPECT_NE(QueryValueWhole(registry, key.Get(), u"Missing", &type, &data), Platform::kErrorSuccess);
}

// 2048 bytes hold 1023 characters and the terminator; a UTF-8 text counts the units
// it stands for (a character beyond the 16-bit range is two).
TEST(DocumentedBuffers, TextOverTheBuffersIsToldByItsLength) {
  EXPECT_FALSE(IsOverDocumentedBuffers(std::u16string(1023, u'x')));
  EXPECT_TRUE(IsOverDocumentedBuffers(std::u16string(1024, u'x')));
  EXPECT_FALSE(IsOverDocumentedBuffersUtf8(std::string(1022, 'x') + "\xC3\xA9"));
  EXPECT_TRUE(IsOverDocumentedBuffersUtf8(std::string(1022, 'x') + "\xF0\x9F\x98\x80"));
  EXPECT_EQ(Utf16UnitsOfUtf8("a\xE2\x82\xAC\xF0\x9F\x98\x80"), 4u);
}

}  // namespace
}  // namespace VyrUtilities
