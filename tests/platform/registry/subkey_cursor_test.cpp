// Enumerating a key's subkeys by index, as RegEnumKeyEx does, gives the registry's
// order whatever order the indexes come in and however the subkeys change between
// calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/emulated/registry/registry_key.h"

namespace {

using Emulated::RegistryKey;

std::vector<std::u16string> Enumerate(const RegistryKey& key) {
  std::vector<std::u16string> names;
  for (size_t i = 0; const RegistryKey* subkey = key.SubkeyAt(i); ++i) names.push_back(subkey->Name());
  return names;
}

TEST(SubkeyAt, FollowsInsertionsRemovalsAndIndexesGoingBack) {
  RegistryKey key(u"Services");
  bool created = false;
  for (const char16_t* name : {u"b", u"D", u"_x", u"a"}) key.AddSubkey(name, &created);
  EXPECT_EQ(Enumerate(key), (std::vector<std::u16string>{u"a", u"b", u"D", u"_x"}));

  ASSERT_NE(key.SubkeyAt(2), nullptr);  // the cursor stands on "D"
  key.AddSubkey(u"c", &created);
  EXPECT_EQ(key.SubkeyAt(2)->Name(), u"c");
  key.RemoveSubkey(u"a");
  EXPECT_EQ(key.SubkeyAt(0)->Name(), u"b");
  EXPECT_EQ(key.SubkeyAt(3)->Name(), u"_x");
  EXPECT_EQ(key.SubkeyAt(1)->Name(), u"c");
  EXPECT_EQ(key.SubkeyAt(4), nullptr);
  EXPECT_EQ(Enumerate(key), (std::vector<std::u16string>{u"b", u"c", u"D", u"_x"}));
}

}  // namespace
