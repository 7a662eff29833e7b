// Hive names, control sets and the profile table on an emulated machine.

#include <gtest/gtest.h>

#include "support/temporary_machine.h"
#include "fileinfo/user_identity.h"

namespace FileInfo {

namespace {

constexpr char16_t kAnn[] = u"S-1-5-21-1-2-3-1001";
constexpr char16_t kBob[] = u"S-1-5-21-1-2-3-1002";

TEST(IsUserSidTest, AcceptsAccountSidsAndTheWellKnownHives) {
  for (std::u16string_view sid : {u"S-1-5-21-11-22-33-1001", u"s-1-5-21-11-22-33-1001",
                                  u".default", u".DEFAULT", u"s-1-5-18", u"S-1-5-19",
                                  u"S-1-5-20", u"S-1-5-21----"}) {
    EXPECT_TRUE(IsUserSid(sid)) << std::string(sid.begin(), sid.end());
  }
  for (std::u16string_view sid : {u"S-1-5-21-11-22-33", u"S-1-5-32-544", u"S-1-5-17",
                                  u"S-1-5-21-11-22-33-1001-5", u"S-1-5-21-1a-2-3-4",
                                  u"S-1-5-22-11-22-33-1001", u"", u"S-1-5-21-1-2-3-1001_Classes"}) {
    EXPECT_FALSE(IsUserSid(sid)) << std::string(sid.begin(), sid.end());
  }
}

TEST(IsUserClassesHiveTest, NeedsAUserSidAndTheClassesSuffix) {
  EXPECT_TRUE(IsUserClassesHive(u"S-1-5-21-1-2-3-1001_Classes"));
  EXPECT_TRUE(IsUserClassesHive(u"S-1-5-18_classes"));
  EXPECT_FALSE(IsUserClassesHive(u"S-1-5-21-1-2-3-1001_Other"));
  EXPECT_FALSE(IsUserClassesHive(u"S-1-5-21-1-2-3-1001"));
  EXPECT_FALSE(IsUserClassesHive(u"S-1-5-21-1-2-3-1001_Classes_Classes"));
  EXPECT_FALSE(IsUserClassesHive(u"S-1-5-32-544_Classes"));
}

Emulated::MachineConfig TwoUsers() {
  Emulated::MachineConfig config;
  config.users.push_back({kAnn, u"DESK", u"ann", u"C:\\Users\\ann", true});
  config.users.push_back({kBob, u"DESK", u"bob", u"C:\\Users\\bob", false});
  return config;
}

TEST(ProfileTableTest, ProfilesAreFlaggedByWhetherTheirHiveIsLoaded) {
  TemporaryMachine machine(TwoUsers());
  UserTable table{{u"stale", 1}};
  ASSERT_TRUE(LoadProfileTable(machine.Service(), table));
  EXPECT_EQ(table.count(u"stale"), 0u);
  uint32_t loaded = 7;
  ASSERT_TRUE(FindProfile(table, kAnn, &loaded));
  EXPECT_EQ(loaded, 1u);
  ASSERT_TRUE(FindProfile(table, kBob, &loaded));
  EXPECT_EQ(loaded, 0u);
  ASSERT_TRUE(FindProfile(table, u"S-1-5-18", &loaded));
  EXPECT_EQ(loaded, 1u);
  EXPECT_FALSE(FindProfile(table, u"S-1-5-21-9-9-9-1000", &loaded));
}

TEST(ProfileTableTest, ClassesHiveFindsItsUsersProfileInAnyCase) {
  UserTable table{{kAnn, 1}};
  EXPECT_TRUE(FindProfile(table, u"S-1-5-21-1-2-3-1001_Classes"));
  EXPECT_TRUE(FindProfile(table, u"s-1-5-21-1-2-3-1001"));
  EXPECT_FALSE(FindProfile(table, u"S-1-5-21-1-2-3-10011"));
}

TEST(ProfileTableTest, MissingProfileListFails) {
  TemporaryMachine machine;
  Platform::System& system = machine.Service();
  ASSERT_EQ(system.Registry().DeleteTree(Platform::kHkeyLocalMachine,
                                         u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\"
                                         u"ProfileList"),
            Platform::kErrorSuccess);
  UserTable table{{kAnn, 1}};
  EXPECT_FALSE(LoadProfileTable(system, table));
  EXPECT_TRUE(table.empty());
}

TEST(ControlSetsTest, OnlyNamesStartingWithControlSetInThatCase) {
  TemporaryMachine machine;
  Platform::System& system = machine.Service();
  for (std::u16string_view name : {u"ControlSet002", u"controlset003", u"ControlSetX", u"Control"}) {
    Platform::Handle key = 0;
    ASSERT_EQ(system.Registry().CreateKey(Platform::kHkeyLocalMachine,
                                          u"SYSTEM\\" + std::u16string(name), 0,
                                          Platform::kKeyAllAccess, &key, nullptr),
              Platform::kErrorSuccess);
    system.Registry().CloseKey(key);
  }
  std::vector<std::u16string> sets{u"kept"};
  EXPECT_TRUE(CollectControlSets(system, sets));
  EXPECT_EQ(sets, (std::vector<std::u16string>{u"kept", u"ControlSet001", u"ControlSet002",
                                                u"ControlSetX"}));
}

}  // namespace

}  // namespace FileInfo
