#pragma once
// What every Platform::Registry backend must do, stated as Windows does it. A backend
// instantiates the suite with a fixture type that has
//   Platform::Registry& Registry();   // a registry with HKLM\SOFTWARE writable
//   Platform::NamedObjects& Objects(); // events for change notifications
// Keys are made below HKLM\SOFTWARE\BrumevaleContract and removed afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/named_objects.h"
#include "platform/registry.h"
#include "platform/scoped_handle.h"
#include "platform/contract/wine_difference.h"

namespace RegistryContract {

using namespace Platform;

inline std::vector<uint8_t> Text(std::u16string_view text) { return Utf16LeBytesWithNul(text); }

template <typename Backend>
class RegistryContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Reg().CreateKey(kHkeyLocalMachine, kRoot, 0, kKeyAllAccess, root_.Receive(Reg()),
                              nullptr),
              kErrorSuccess);
  }
  void TearDown() override {
    root_.Reset();
    Reg().DeleteTree(kHkeyLocalMachine, kRoot);
  }
  Registry& Reg() { return backend_.Registry(); }
  ScopedKey Create(std::u16string_view path, uint32_t access = kKeyAllAccess) {
    ScopedKey key;
    EXPECT_EQ(Reg().CreateKey(root_.Get(), path, 0, access, key.Receive(Reg()), nullptr),
              kErrorSuccess);
    return key;
  }
  ScopedKey Open(std::u16string_view path, uint32_t access) {
    ScopedKey key;
    EXPECT_EQ(Reg().OpenKey(root_.Get(), path, access, key.Receive(Reg())), kErrorSuccess);
    return key;
  }
  std::vector<std::u16string> SubkeyNames(Handle key) {
    std::vector<std::u16string> names;
    std::u16string name;
    for (uint32_t i = 0; Reg().EnumKey(key, i, 256, &name) == kErrorSuccess; ++i) {
      names.push_back(name);
    }
    return names;
  }
  static constexpr std::u16string_view kRoot = u"SOFTWARE\\BrumevaleContract";
  Backend backend_;
  ScopedKey root_;
};

TYPED_TEST_SUITE_P(RegistryContractTest);

TYPED_TEST_P(RegistryContractTest, NamesIgnoreAsciiCaseAndKeepTheirCase) {
  uint32_t disposition = 0;
  ScopedKey key;
  ASSERT_EQ(this->Reg().CreateKey(this->root_.Get(), u"MixedCase", 0, kKeyAllAccess,
                                  key.Receive(this->Reg()), &disposition),
            kErrorSuccess);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  ScopedKey again;
  ASSERT_EQ(this->Reg().CreateKey(this->root_.Get(), u"MIXEDCASE", 0, kKeyAllAccess,
                                  again.Receive(this->Reg()), &disposition),
            kErrorSuccess);
  EXPECT_EQ(disposition, kRegOpenedExistingKey);
  EXPECT_EQ(this->SubkeyNames(this->root_.Get()), std::vector<std::u16string>{u"MixedCase"});

  ASSERT_EQ(this->Reg().SetValue(key.Get(), u"Value", kRegDword, std::vector<uint8_t>{1, 0, 0, 0}),
            kErrorSuccess);
  ASSERT_EQ(this->Reg().SetValue(key.Get(), u"VALUE", kRegDword, std::vector<uint8_t>{2, 0, 0, 0}),
            kErrorSuccess);
  std::u16string name;
  std::vector<uint8_t> data;
  uint32_t type = 0, size = 0;
  ASSERT_EQ(this->Reg().EnumValue(key.Get(), 0, 256, &name, &type, &data, 16, &size), kErrorSuccess);
  EXPECT_EQ(name, u"Value");
  EXPECT_EQ(data, (std::vector<uint8_t>{2, 0, 0, 0}));
  EXPECT_EQ(this->Reg().EnumValue(key.Get(), 1, 256, &name, &type, &data, 16, &size),
            kErrorNoMoreItems);
}

TYPED_TEST_P(RegistryContractTest, SubkeysSortIgnoringCaseValuesKeepCreationOrder) {
  SKIP_WHERE_WINE_DIFFERS(this->backend_,
                          "subkeys sort by their upper-cased names (\"_\" after letters) and values "
                          "enumerate in creation order (Wine sorts both by lower-cased name)");
  for (auto name : {u"b", u"_under", u"C", u"a", u"Ab"}) this->Create(name);
  EXPECT_EQ(this->SubkeyNames(this->root_.Get()),
            (std::vector<std::u16string>{u"a", u"Ab", u"b", u"C", u"_under"}));
  for (auto name : {u"zeta", u"Alpha", u"mid"}) {
    ASSERT_EQ(this->Reg().SetValue(this->root_.Get(), name, kRegSz, Text(name)), kErrorSuccess);
  }
  std::vector<std::u16string> names;
  std::u16string name;
  for (uint32_t i = 0; this->Reg().EnumValue(this->root_.Get(), i, 256, &name, nullptr, nullptr, 0,
                                             nullptr) == kErrorSuccess;
       ++i) {
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"zeta", u"Alpha", u"mid"}));
}

TYPED_TEST_P(RegistryContractTest, BufferSizesFollowWin32) {
  this->Create(u"abcd");
  std::u16string name = u"untouched";
  EXPECT_EQ(this->Reg().EnumKey(this->root_.Get(), 0, 4, &name), kErrorMoreData);
  EXPECT_EQ(name, u"untouched");
  EXPECT_EQ(this->Reg().EnumKey(this->root_.Get(), 0, 5, &name), kErrorSuccess);
  EXPECT_EQ(name, u"abcd");

  const std::vector<uint8_t> bytes = Text(u"xyz");  // 8 bytes
  ASSERT_EQ(this->Reg().SetValue(this->root_.Get(), u"v", kRegSz, bytes), kErrorSuccess);
  uint32_t type = 0, size = 0;
  std::vector<uint8_t> data{9};
  EXPECT_EQ(this->Reg().QueryValue(this->root_.Get(), u"v", &type, &data, 7, &size), kErrorMoreData);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(data, std::vector<uint8_t>{9});
  EXPECT_EQ(this->Reg().QueryValue(this->root_.Get(), u"v", &type, &data, 8, &size), kErrorSuccess);
  EXPECT_EQ(data, bytes);
  EXPECT_EQ(type, kRegSz);

  size = 0;
  type = 0;
  EXPECT_EQ(this->Reg().QueryValue(this->root_.Get(), u"v", &type, nullptr, 0, &size), kErrorSuccess);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(this->Reg().EnumValue(this->root_.Get(), 0, 1, &name, &type, nullptr, 0, &size),
            kErrorMoreData);
  EXPECT_EQ(this->Reg().EnumValue(this->root_.Get(), 0, 2, &name, &type, &data, 4, &size),
            kErrorMoreData);
  EXPECT_EQ(size, 8u);
}

// Reads one after another of values far apart in size, names too: each reads back
// whole and alone, nothing of the one before carried over.
TYPED_TEST_P(RegistryContractTest, ValuesOfEveryLengthReadBackOneAfterAnother) {
  const std::u16string longName(300, u'n');
  const std::vector<std::pair<std::u16string, std::vector<uint8_t>>> values{
      {longName, std::vector<uint8_t>(100000, 0xAB)}, {u"s", {1}}, {u"mid", std::vector<uint8_t>(3000, 7)}};
  for (const auto& [name, bytes] : values) {
    ASSERT_EQ(this->Reg().SetValue(this->root_.Get(), name, kRegBinary, bytes), kErrorSuccess);
  }
  for (int round = 0; round < 2; ++round) {
    for (const auto& [name, bytes] : values) {
      std::vector<uint8_t> data;
      uint32_t size = 0;
      ASSERT_EQ(this->Reg().QueryValue(this->root_.Get(), name, nullptr, &data, 200000, &size), kErrorSuccess);
      EXPECT_EQ(data, bytes);
    }
    std::map<std::u16string, std::vector<uint8_t>> read;
    std::u16string name;
    std::vector<uint8_t> data;
    for (uint32_t i = 0; this->Reg().EnumValue(this->root_.Get(), i, 16384, &name, nullptr, &data, 200000,
                                               nullptr) == kErrorSuccess;
         ++i) {
      read[name] = data;
    }
    EXPECT_EQ(read, (std::map<std::u16string, std::vector<uint8_t>>(values.begin(), values.end())));
  }
}

TYPED_TEST_P(RegistryContractTest, DefaultValueAndMissingValues) {
  uint32_t size = 77;
  EXPECT_EQ(this->Reg().QueryValue(this->root_.Get(), u"", nullptr, nullptr, 0, &size),
            kErrorFileNotFound);
  EXPECT_EQ(size, 77u);
  ASSERT_EQ(this->Reg().SetValue(this->root_.Get(), u"", kRegSz, Text(u"d")), kErrorSuccess);
  std::vector<uint8_t> data;
  EXPECT_EQ(this->Reg().QueryValue(this->root_.Get(), u"", nullptr, &data, 64, &size), kErrorSuccess);
  EXPECT_EQ(data, Text(u"d"));
  EXPECT_EQ(this->Reg().DeleteValue(this->root_.Get(), u"nothing"), kErrorFileNotFound);
  EXPECT_EQ(this->Reg().DeleteValue(this->root_.Get(), u""), kErrorSuccess);
  ScopedKey missing;
  EXPECT_EQ(this->Reg().OpenKey(this->root_.Get(), u"missing", kKeyRead, missing.Receive(this->Reg())),
            kErrorFileNotFound);
}

TYPED_TEST_P(RegistryContractTest, AccessRightsAreChecked) {
  this->Create(u"k");
  ScopedKey readOnly = this->Open(u"k", kKeyRead);
  EXPECT_EQ(this->Reg().SetValue(readOnly.Get(), u"v", kRegSz, Text(u"x")), kErrorAccessDenied);
  EXPECT_EQ(this->Reg().DeleteValue(readOnly.Get(), u"v"), kErrorAccessDenied);
  SKIP_WHERE_WINE_DIFFERS(this->backend_,
                          "RegCreateKeyEx below a handle without KEY_CREATE_SUB_KEY fails with "
                          "ERROR_ACCESS_DENIED (Wine creates the key)");
  ScopedKey child;
  EXPECT_EQ(this->Reg().CreateKey(readOnly.Get(), u"c", 0, kKeyAllAccess, child.Receive(this->Reg()),
                                  nullptr),
            kErrorAccessDenied);
  ScopedKey setOnly = this->Open(u"k", kKeySetValue);
  ASSERT_EQ(this->Reg().SetValue(setOnly.Get(), u"v", kRegSz, Text(u"x")), kErrorSuccess);
  std::u16string name;
  EXPECT_EQ(this->Reg().QueryValue(setOnly.Get(), u"v", nullptr, nullptr, 0, nullptr),
            kErrorAccessDenied);
  EXPECT_EQ(this->Reg().EnumKey(setOnly.Get(), 0, 256, &name), kErrorAccessDenied);
  EXPECT_EQ(this->Reg().EnumValue(setOnly.Get(), 0, 256, &name, nullptr, nullptr, 0, nullptr),
            kErrorAccessDenied);
}

TYPED_TEST_P(RegistryContractTest, DeleteRules) {
  this->Create(u"parent\\child\\grandchild");
  ScopedKey held = this->Open(u"parent\\child", kKeyRead);
  EXPECT_EQ(this->Reg().DeleteKey(this->root_.Get(), u"parent"), kErrorAccessDenied);
  EXPECT_EQ(this->Reg().DeleteKey(this->root_.Get(), u"parent\\child\\grandchild"), kErrorSuccess);
  EXPECT_EQ(this->Reg().DeleteKey(this->root_.Get(), u"nothing"), kErrorFileNotFound);
  this->Create(u"parent\\child\\again");
  EXPECT_EQ(this->Reg().DeleteTree(this->root_.Get(), u"PARENT"), kErrorSuccess);
  std::u16string name;
  EXPECT_EQ(this->Reg().EnumKey(held.Get(), 0, 256, &name), kErrorKeyDeleted);
  EXPECT_EQ(this->Reg().QueryValue(held.Get(), u"", nullptr, nullptr, 0, nullptr), kErrorKeyDeleted);
  EXPECT_TRUE(this->SubkeyNames(this->root_.Get()).empty());

  // DeleteTree without a subkey empties the key and keeps it.
  this->Create(u"box\\inner");
  ScopedKey box = this->Open(u"box", kKeyAllAccess);
  ASSERT_EQ(this->Reg().SetValue(box.Get(), u"v", kRegSz, Text(u"x")), kErrorSuccess);
  EXPECT_EQ(this->Reg().DeleteTree(box.Get(), u""), kErrorSuccess);
  uint32_t subKeys = 9, values = 9;
  EXPECT_EQ(this->Reg().QueryInfoKey(box.Get(), &subKeys, nullptr, &values, nullptr, nullptr),
            kErrorSuccess);
  EXPECT_EQ(subKeys, 0u);
  EXPECT_EQ(values, 0u);
}

TYPED_TEST_P(RegistryContractTest, QueryInfoKeyReportsLongestNamesAndData) {
  this->Create(u"abc");
  this->Create(u"abcdefg");
  ASSERT_EQ(this->Reg().SetValue(this->root_.Get(), u"longname", kRegBinary,
                                 std::vector<uint8_t>(300, 1)),
            kErrorSuccess);
  ASSERT_EQ(this->Reg().SetValue(this->root_.Get(), u"x", kRegSz, Text(u"y")), kErrorSuccess);
  uint32_t subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
  ASSERT_EQ(this->Reg().QueryInfoKey(this->root_.Get(), &subKeys, &maxSub, &values, &maxName, &maxData),
            kErrorSuccess);
  EXPECT_EQ(subKeys, 2u);
  EXPECT_EQ(maxSub, 7u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 8u);
  EXPECT_EQ(maxData, 300u);
}

TYPED_TEST_P(RegistryContractTest, CurrentControlSetIsTheSelectedControlSet) {
  SKIP_WHERE_WINE_DIFFERS(this->backend_,
                          "CurrentControlSet is a link to the ControlSetNNN that SYSTEM\\Select names "
                          "(Wine keeps it apart from ControlSet001)");
  ScopedKey service;
  ASSERT_EQ(this->Reg().CreateKey(kHkeyLocalMachine,
                                  u"SYSTEM\\CurrentControlSet\\Services\\BrumevaleContractSvc", 0,
                                  kKeyAllAccess, service.Receive(this->Reg()), nullptr),
            kErrorSuccess);
  ScopedKey direct;
  EXPECT_EQ(this->Reg().OpenKey(kHkeyLocalMachine,
                                u"SYSTEM\\ControlSet001\\Services\\BrumevaleContractSvc", kKeyRead,
                                direct.Receive(this->Reg())),
            kErrorSuccess);
  EXPECT_EQ(this->Reg().DeleteKey(kHkeyLocalMachine,
                                  u"SYSTEM\\CurrentControlSet\\Services\\BrumevaleContractSvc"),
            kErrorSuccess);
  ScopedKey system;
  ASSERT_EQ(this->Reg().OpenKey(kHkeyLocalMachine, u"SYSTEM", kKeyRead, system.Receive(this->Reg())),
            kErrorSuccess);
  const auto names = this->SubkeyNames(system.Get());
  EXPECT_NE(std::find(names.begin(), names.end(), u"CurrentControlSet"), names.end());
}

TYPED_TEST_P(RegistryContractTest, NotificationsFireOnceForMatchingChanges) {
  NamedObjects& objects = this->backend_.Objects();
  ScopedObject event;
  if (objects.CreateEvent(true, false, u"", event.Receive(objects), nullptr) != kErrorSuccess) {
    GTEST_SKIP() << "this backend has no events yet";
  }
  ScopedKey watched = this->Create(u"watched");
  ScopedKey readOnly = this->Open(u"watched", kKeyQueryValue);
  EXPECT_EQ(this->Reg().NotifyChangeKeyValue(readOnly.Get(), false, kRegNotifyChangeName, event.Get()),
            kErrorAccessDenied);
  this->Create(u"watched\\deep");
  ASSERT_EQ(this->Reg().NotifyChangeKeyValue(watched.Get(), true, kRegNotifyChangeName, event.Get()),
            kErrorSuccess);
  ScopedKey deep = this->Open(u"watched\\deep", kKeyAllAccess);
  // A value change does not pass a name-only filter.
  ASSERT_EQ(this->Reg().SetValue(deep.Get(), u"v", kRegSz, Text(u"x")), kErrorSuccess);
  EXPECT_EQ(objects.WaitForSingleObject(event.Get(), 0), kWaitTimeout);
  this->Create(u"watched\\deep\\new");
  EXPECT_EQ(objects.WaitForSingleObject(event.Get(), 1000), kWaitObject0);

  // One-shot: a second change without re-arming leaves the event alone.
  ASSERT_EQ(objects.ResetEvent(event.Get()), kErrorSuccess);
  this->Create(u"watched\\other");
  EXPECT_EQ(objects.WaitForSingleObject(event.Get(), 0), kWaitTimeout);

  // Without the subtree flag only the key itself counts; closing the key signals.
  ASSERT_EQ(this->Reg().NotifyChangeKeyValue(watched.Get(), false, kRegNotifyChangeLastSet,
                                             event.Get()),
            kErrorSuccess);
  ASSERT_EQ(this->Reg().SetValue(deep.Get(), u"v", kRegSz, Text(u"y")), kErrorSuccess);
  EXPECT_EQ(objects.WaitForSingleObject(event.Get(), 0), kWaitTimeout);
  watched.Reset();
  EXPECT_EQ(objects.WaitForSingleObject(event.Get(), 1000), kWaitObject0);
}

REGISTER_TYPED_TEST_SUITE_P(RegistryContractTest, NamesIgnoreAsciiCaseAndKeepTheirCase,
                            SubkeysSortIgnoringCaseValuesKeepCreationOrder, BufferSizesFollowWin32,
                            ValuesOfEveryLengthReadBackOneAfterAnother,
                            DefaultValueAndMissingValues, AccessRightsAreChecked, DeleteRules,
                            QueryInfoKeyReportsLongestNamesAndData,
                            CurrentControlSetIsTheSelectedControlSet,
                            NotificationsFireOnceForMatchingChanges);

}  // namespace RegistryContract
