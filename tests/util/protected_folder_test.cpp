#include "util/protected_folder.h"

#include <gtest/gtest.h>

#include "platform/emulated/processes/process_control.h"
#include "util_machine.h"

namespace VyrUtilities {
namespace {

using namespace Platform;

constexpr char16_t kUserSid[] = u"S-1-5-21-1-2-3-1001";

TEST(ProtectedFolderSecurityTest, OnlySystemAndAdministratorsWithFullControlAndNothingElse) {
  const FileSecurity base = ProtectedFolderSecurity();
  const auto with = [&](auto change) {
    FileSecurity security = base;
    change(security);
    return security;
  };
  const struct {
    const char* what;
    FileSecurity security;
    bool strict;
  } cases[] = {
      {"as made", base, true},
      {"owned by SYSTEM", with([](FileSecurity& s) { s.ownerSid = kLocalSystemSid; }), true},
      {"GENERIC_ALL as full control", with([](FileSecurity& s) { s.dacl[0].mask = 0x10000000; }), true},
      {"owned by a user", with([](FileSecurity& s) { s.ownerSid = kUserSid; }), false},
      {"taking the parent's entries", with([](FileSecurity& s) { s.daclProtected = false; }), false},
      {"users may read",
       with([](FileSecurity& s) { s.dacl.push_back({kAccessAllowedAceType, 0, kFileGenericReadExecute, kUsersSid}); }),
       false},
      {"SYSTEM may only read", with([](FileSecurity& s) { s.dacl[0].mask = kFileGenericReadExecute; }), false},
      {"no entry for the Administrators", with([](FileSecurity& s) { s.dacl.pop_back(); }), false},
      {"a deny entry",
       with([](FileSecurity& s) { s.dacl.push_back({kAccessDeniedAceType, 0, kFileAllAccess, kAdministratorsSid}); }),
       false},
      {"entries passed on from above",
       with([](FileSecurity& s) {
         for (AccessEntry& entry : s.dacl) entry.flags |= kInheritedAce;
       }),
       false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsProtectedFolderSecurity(c.security), c.strict) << c.what;
}

class ProtectedFolderTest : public UtilTest::MachineTest {
 protected:
  // A process of an ordinary logged-on user.
  Platform::System& User() {
    const uint32_t pid = Emulated::StartProcess(machine_, {{4, 0}, u"C:\\Windows\\explorer.exe", kUserSid});
    return machine_.Process(pid);
  }
  FileSecurity SecurityOf(std::u16string_view path) {
    FileSecurity security;
    EXPECT_EQ(System().Files().GetFileSecurity(path, &security), kErrorSuccess);
    return security;
  }
};

TEST_F(ProtectedFolderTest, AFolderAUserMadeIsTakenOverOnceAndThenLeftAlone) {
  ASSERT_EQ(User().Files().CreateDirectory(u"C:\\Data"), kErrorSuccess);
  EXPECT_EQ(SecurityOf(u"C:\\Data").ownerSid, kUserSid);
  Win32Error error = kErrorSuccess;
  EXPECT_EQ(ProtectFolder(System(), u"C:\\Data", &error), FolderProtection::kReset);
  const FileSecurity reset = SecurityOf(u"C:\\Data");
  EXPECT_TRUE(IsProtectedFolderSecurity(reset));
  EXPECT_EQ(reset.ownerSid, kAdministratorsSid);
  EXPECT_EQ(ProtectFolder(System(), u"C:\\Data", &error), FolderProtection::kAlreadyProtected);

  EXPECT_EQ(ProtectFolder(System(), u"C:\\Missing", &error), FolderProtection::kFailed);
  EXPECT_EQ(error, kErrorFileNotFound);
}

}  // namespace
}  // namespace VyrUtilities
