// Naming a process's image and owner on an emulated machine.

#include <gtest/gtest.h>

#include "fileinfo/process_identity.h"
#include "support/temporary_machine.h"
#include "platform/emulated/processes/process_list.h"

namespace FileInfo {

namespace {

class ProcessIdentityTest : public ::testing::Test {
 protected:
  Emulated::MachineConfig Config() {
    Emulated::MachineConfig config;
    config.users.push_back({u"S-1-5-21-1-2-3-1001", u"DESK", u"ann", u"C:\\Users\\ann", true});
    return config;
  }
  void AddProcess(uint32_t pid, std::u16string_view image, std::u16string_view owner, bool isProtected = false) {
    Emulated::ProcessRecord record;
    record.processId = pid;
    record.imagePath = image;
    record.ownerSid = owner;
    record.protectedProcess = isProtected;
    machine.Machine().ProcessTable().Add(record);
  }

  TemporaryMachine machine{Config()};
  VyrUtilities::DriveMap driveMap{machine.Service()};
  std::u16string image = u"unset";
  std::u16string owner = u"unset";
};

TEST_F(ProcessIdentityTest, SystemProcessesAreNamedWithoutOpeningThem) {
  EXPECT_TRUE(GetProcessImageAndOwner(machine.Service(), driveMap, 0, image, owner));
  EXPECT_EQ(image, u"System Idle");
  EXPECT_EQ(owner, u"SYSTEM");
  EXPECT_TRUE(GetProcessImageAndOwner(machine.Service(), driveMap, 4, image, owner));
  EXPECT_EQ(image, u"System");
  EXPECT_EQ(owner, u"SYSTEM");
}

TEST_F(ProcessIdentityTest, UserProcessGivesDriveLetterImageAndDomainName) {
  AddProcess(1200, u"C:\\Windows\\notepad.exe", u"S-1-5-21-1-2-3-1001");
  EXPECT_TRUE(GetProcessImageAndOwner(machine.Service(), driveMap, 1200, image, owner));
  EXPECT_EQ(image, u"C:\\Windows\\notepad.exe");
  EXPECT_EQ(owner, u"DESK\\ann");
}

TEST_F(ProcessIdentityTest, UnknownProcessOrOwnerYieldsEmptyAnswers) {
  EXPECT_FALSE(GetProcessImageAndOwner(machine.Service(), driveMap, 5000, image, owner));
  EXPECT_EQ(image, u"");
  EXPECT_EQ(owner, u"unset");  // no owner found: left as it was
  EXPECT_FALSE(GetProcessImageAndOwner(machine.Service(), driveMap, 1ull << 40, image, owner));

  AddProcess(1300, u"C:\\Windows\\x.exe", u"S-1-5-21-9-9-9-9999");
  EXPECT_FALSE(GetProcessImageAndOwner(machine.Service(), driveMap, 1300, image, owner));
  EXPECT_EQ(image, u"C:\\Windows\\x.exe");
}

// services.exe writes every service key; refusing the full query must not cost the
// change its process image.
TEST_F(ProcessIdentityTest, ProtectedProcessIsNamedThroughTheLimitedQueryWithoutOwner) {
  AddProcess(728, u"C:\\Windows\\System32\\services.exe", u"S-1-5-18", true);
  EXPECT_FALSE(GetProcessImageAndOwner(machine.Service(), driveMap, 728, image, owner));
  EXPECT_EQ(image, u"C:\\Windows\\System32\\services.exe");
  EXPECT_EQ(owner, u"unset");
}

}  // namespace

}  // namespace FileInfo
