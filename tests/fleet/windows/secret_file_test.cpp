// The rule for the exporter's password and credentials files, on security
// descriptors written in SDDL: SYSTEM or the Administrators own the file, and no one
// else may read it.

#include <gtest/gtest.h>

#include <string>

#include "fleet/windows/secret_file_win.h"

namespace {

struct Verdict {
  bool closed;
  std::string why;
};

Verdict Judge(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
  GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
  Verdict verdict{};
  verdict.closed = Fleet::ClosedToOthers("C:\\fleet\\export.creds", owner, present ? dacl : nullptr, &verdict.why);
  LocalFree(descriptor);
  return verdict;
}

TEST(SecretFile, ClosedWhenOnlySystemAndAdministratorsReadIt) {
  for (const wchar_t* sddl : {L"O:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)", L"O:BAD:P(A;;FA;;;BA)",
                              // Writing without reading, a denial, and an entry only for
                              // files below a folder leave the content closed.
                              L"O:SYD:P(A;;FA;;;SY)(A;;0x2;;;BU)", L"O:SYD:(D;;FA;;;WD)(A;;FA;;;SY)",
                              L"O:SYD:(A;OICIIO;FA;;;BU)(A;;FA;;;SY)"}) {
    const Verdict verdict = Judge(sddl);
    EXPECT_TRUE(verdict.closed) << verdict.why;
  }
}

TEST(SecretFile, RefusedWhenAnotherAccountCanRead) {
  // Read data alone, generic read and generic all all open the content.
  for (const wchar_t* sddl : {L"O:SYD:(A;;FA;;;SY)(A;;0x1;;;BU)", L"O:SYD:(A;;FA;;;SY)(A;;GR;;;WD)",
                              L"O:SYD:(A;;FA;;;SY)(A;;GA;;;AU)"}) {
    const Verdict verdict = Judge(sddl);
    EXPECT_FALSE(verdict.closed) << "accepted " << std::string(sddl, sddl + wcslen(sddl));
    EXPECT_NE(verdict.why.find("C:\\fleet\\export.creds can be read by "), std::string::npos) << verdict.why;
  }
}

TEST(SecretFile, RefusedWhenOwnedByAnotherAccountOrWithoutAccessList) {
  // The owner may rewrite the access list at will, so a closed list does not help.
  const Verdict owned = Judge(L"O:BUD:P(A;;FA;;;SY)");
  EXPECT_FALSE(owned.closed);
  EXPECT_NE(owned.why.find("is owned by "), std::string::npos) << owned.why;
  EXPECT_NE(owned.why.find("not SYSTEM or the Administrators"), std::string::npos) << owned.why;
  // A missing DACL (not an empty one, which lets no one in) is made directly: Wine's
  // SDDL parser turns NO_ACCESS_CONTROL into an empty list.
  PSID system = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(L"SY", &system));
  std::string why;
  EXPECT_FALSE(Fleet::ClosedToOthers("C:\\fleet\\export.creds", system, nullptr, &why));
  EXPECT_EQ(why, "C:\\fleet\\export.creds can be read by everyone (it has no access list)");
  LocalFree(system);
}

TEST(SecretFile, RefusalSaysWhoMayReadIt) {
  EXPECT_EQ(Fleet::SecretFileRefusal("F can be read by X"),
            "F can be read by X; only SYSTEM and the Administrators may read it");
}

}  // namespace
