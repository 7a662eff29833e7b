// Parsing kernel key paths and rendering them the way users read them.

#include <gtest/gtest.h>

#include "intake/registry_key_path.h"

namespace {

using Components = std::vector<std::u16string>;
constexpr char16_t kUser[] = u"S-1-5-21-11-22-33-1001";

TEST(RegistryKeyPathTest, MachinePathsParseInAnyLetterCase) {
  RegistryKeyPath upper;
  ASSERT_TRUE(upper.ParseNative(u"\\REGISTRY\\MACHINE\\SOFTWARE\\Run", 0));
  RegistryKeyPath lower;
  ASSERT_TRUE(lower.ParseNative(u"\\registry\\machine\\SOFTWARE\\Run", 0));
  for (const RegistryKeyPath* path : {&upper, &lower}) {
    EXPECT_EQ(path->Root(), kRootMachine);
    EXPECT_EQ(path->Sid(), u"");
    EXPECT_EQ(path->Components(), (Components{u"SOFTWARE", u"Run"}));
    EXPECT_EQ(path->ToText(true), u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Run");
    EXPECT_EQ(path->ToText(false), u"SOFTWARE\\Run");
  }
}

TEST(RegistryKeyPathTest, UserHiveKinds) {
  RegistryKeyPath path;
  ASSERT_TRUE(path.ParseNative(std::u16string(u"\\REGISTRY\\USER\\") + kUser + u"\\Software", 0));
  EXPECT_EQ(path.Root(), kRootUser);
  EXPECT_EQ(path.Sid(), kUser);
  EXPECT_EQ(path.ToText(true), std::u16string(u"HKEY_USERS\\") + kUser + u"\\Software");

  ASSERT_TRUE(path.ParseNative(std::u16string(u"\\REGISTRY\\USER\\") + kUser + u"_Classes\\CLSID", 0));
  EXPECT_EQ(path.Root(), kRootUserClasses);
  EXPECT_EQ(path.Sid(), kUser);
  EXPECT_EQ(path.Components(), Components{u"CLSID"});
  EXPECT_EQ(path.ToText(true), std::u16string(u"HKEY_USERS\\") + kUser + u"_Classes\\CLSID");

  ASSERT_TRUE(path.ParseNative(u"\\REGISTRY\\USER\\.DEFAULT\\Software", 0));
  EXPECT_EQ(path.Root(), kRootUser);

  ASSERT_TRUE(path.ParseNative(u"\\REGISTRY\\USER\\S-1-5-32-544\\Software\\X", 0));
  EXPECT_EQ(path.Root(), kRootOtherUsersKey);
  EXPECT_EQ(path.ToText(true), u"\\Software\\X");
}

TEST(RegistryKeyPathTest, EmptySidIsAUserOnlyForWildcardPaths) {
  RegistryKeyPath path;
  ASSERT_TRUE(path.ParseNative(u"\\REGISTRY\\USER\\\\Software", 1));
  EXPECT_EQ(path.Root(), kRootUser);
  EXPECT_EQ(path.Wildcard(), 1u);
  ASSERT_TRUE(path.ParseNative(u"\\REGISTRY\\USER\\\\Software", 0));
  EXPECT_EQ(path.Root(), kRootOtherUsersKey);
}

TEST(RegistryKeyPathTest, EmptyPiecesAreComponents) {
  RegistryKeyPath path;
  ASSERT_TRUE(path.ParseNative(u"\\REGISTRY\\MACHINE\\A\\\\B", 0));
  EXPECT_EQ(path.Components(), (Components{u"A", u"", u"B"}));
}

TEST(RegistryKeyPathTest, PathsEndingAtTheRootOrWithASeparatorFail) {
  RegistryKeyPath path;
  EXPECT_FALSE(path.ParseNative(u"\\REGISTRY\\MACHINE", 0));
  EXPECT_FALSE(path.ParseNative(u"\\REGISTRY\\MACHINE\\", 0));
  EXPECT_FALSE(path.ParseNative(std::u16string(u"\\REGISTRY\\USER\\") + kUser, 0));
  EXPECT_FALSE(path.ParseNative(u"\\REGISTRY\\USER", 0));
  EXPECT_FALSE(path.ParseNative(u"\\REGISTRY\\A\\B", 0));
  EXPECT_FALSE(path.ParseNative(u"HKEY_LOCAL_MACHINE\\SOFTWARE", 0));
  EXPECT_EQ(path.Root(), kRootNone);
  EXPECT_TRUE(path.Components().empty());

  EXPECT_FALSE(path.ParseNative(u"\\REGISTRY\\MACHINE\\SOFTWARE\\Run\\", 0));
  EXPECT_EQ(path.Root(), kRootMachine);  // what was parsed stays
  EXPECT_EQ(path.Components(), (Components{u"SOFTWARE", u"Run"}));
}

TEST(RegistryKeyPathTest, AssignKeepsInnerEmptyPiecesButNotATrailingOne) {
  RegistryKeyPath path;
  EXPECT_TRUE(path.Assign(kRootUser, kUser, u"Software\\\\Run\\", 0));
  EXPECT_EQ(path.Components(), (Components{u"Software", u"", u"Run"}));
  EXPECT_EQ(path.Sid(), kUser);
  EXPECT_TRUE(path.Assign(kRootMachine, u"", 1));
  EXPECT_TRUE(path.Components().empty());
  EXPECT_EQ(path.Sid(), u"");
  EXPECT_EQ(path.ToText(true), u"HKEY_LOCAL_MACHINE\\");
}

TEST(RegistryKeyPathTest, SliceClampsItsEnd) {
  RegistryKeyPath path;
  path.Assign(kRootMachine, u"A\\B\\C\\D", 0);
  EXPECT_EQ(path.LastComponent(), 3);
  EXPECT_EQ(path.Slice(1, 2).Components(), (Components{u"B", u"C"}));
  EXPECT_EQ(path.Slice(1, -1).Components(), (Components{u"B", u"C", u"D"}));
  EXPECT_EQ(path.Slice(2, 99).Components(), (Components{u"C", u"D"}));
  EXPECT_EQ(path.Slice(3, 3).Components(), Components{u"D"});
  EXPECT_EQ(path.Slice(0, 0).Root(), kRootNone);
  EXPECT_TRUE(path.Slice(-1, 2).Components().empty());
  EXPECT_TRUE(path.Slice(4, -1).Components().empty());
  EXPECT_TRUE(path.Slice(2, 1).Components().empty());
}

TEST(RegistryKeyPathTest, RootKindOfPredefinedKeys) {
  EXPECT_EQ(RegistryKeyPath::RootKindOfHandle(Platform::kHkeyLocalMachine), kRootMachine);
  EXPECT_EQ(RegistryKeyPath::RootKindOfHandle(Platform::kHkeyUsers), kRootUser);
  EXPECT_EQ(RegistryKeyPath::RootKindOfHandle(Platform::kHkeyCurrentUser), kRootNone);
}

}  // namespace
