#pragma once
// What every Platform::Environment backend must do, stated as Windows does it. A
// backend instantiates the suite with a fixture type that has
//   Platform::Environment& Environment();

#include <gtest/gtest.h>

#include <string>

#include "platform/environment.h"

namespace EnvironmentContract {

using namespace Platform;

template <typename Backend>
class EnvironmentContractTest : public ::testing::Test {
 protected:
  Environment& Env() { return backend_.Environment(); }
  std::u16string Expand(std::u16string_view text) {
    std::u16string out;
    uint32_t required = 0;
    EXPECT_EQ(Env().ExpandEnvironmentStrings(text, 1024, &out, &required), kErrorSuccess);
    EXPECT_EQ(required, out.size() + 1);
    return out;
  }
  std::u16string Folder(int csidl) {
    std::u16string path;
    EXPECT_EQ(Env().GetSpecialFolder(csidl, 260, &path), kErrorSuccess);
    return path;
  }

  Backend backend_;
};

TYPED_TEST_SUITE_P(EnvironmentContractTest);

TYPED_TEST_P(EnvironmentContractTest, ExpandsKnownNamesIgnoringCaseAndLeavesTheRest) {
  const std::u16string root = this->Folder(kCsidlWindows);
  EXPECT_EQ(this->Expand(u"%SystemRoot%\\x"), root + u"\\x");
  EXPECT_EQ(this->Expand(u"%systemroot%"), root);
  EXPECT_EQ(this->Expand(u"%NoSuchVariable_7%\\%SYSTEMROOT%"), u"%NoSuchVariable_7%\\" + root);
  EXPECT_EQ(this->Expand(u"100% sure"), u"100% sure");
  EXPECT_EQ(this->Expand(u"%%"), u"%%");
  EXPECT_EQ(this->Expand(u""), u"");

  std::u16string out = u"untouched";
  uint32_t required = 0;
  EXPECT_EQ(this->Env().ExpandEnvironmentStrings(u"%SystemRoot%", static_cast<uint32_t>(root.size()), &out,
                                                 &required),
            kErrorInsufficientBuffer);
  EXPECT_EQ(out, u"untouched");
  EXPECT_EQ(required, root.size() + 1);
  EXPECT_EQ(this->Env().ExpandEnvironmentStrings(u"%SystemRoot%", required, &out, &required), kErrorSuccess);
  EXPECT_EQ(out, root);
  std::u16string value;
  EXPECT_EQ(this->Env().GetEnvironmentVariable(u"NoSuchVariable_7", &value), kErrorEnvvarNotFound);
}

TYPED_TEST_P(EnvironmentContractTest, SpecialFoldersFollowTheWindowsLayout) {
  const std::u16string root = this->Folder(kCsidlWindows);
  EXPECT_EQ(this->Folder(kCsidlSystem), root + u"\\system32");
  EXPECT_EQ(this->Folder(kCsidlCommonAppData), this->Expand(u"%ProgramData%"));
  EXPECT_EQ(this->Folder(kCsidlCommonStartup),
            this->Expand(u"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp"));
  EXPECT_EQ(this->Folder(kCsidlPersonal), this->Folder(kCsidlProfile) + u"\\Documents");
  std::u16string path = u"untouched";
  EXPECT_EQ(this->Env().GetSpecialFolder(kCsidlSystem, 3, &path), kErrorInsufficientBuffer);
  EXPECT_EQ(path, u"untouched");
  EXPECT_EQ(this->Env().GetSpecialFolder(9999, 260, &path), kErrorFileNotFound);
}

TYPED_TEST_P(EnvironmentContractTest, NamesVersionAndClocksAreConsistent) {
  std::u16string name;
  ASSERT_EQ(this->Env().GetComputerName(64, &name), kErrorSuccess);
  EXPECT_EQ(this->Expand(u"%COMPUTERNAME%"), name);
  std::u16string shortBuffer = u"untouched";
  EXPECT_EQ(this->Env().GetComputerName(static_cast<uint32_t>(name.size()), &shortBuffer),
            kErrorInsufficientBuffer);
  OsVersionInfo version;
  ASSERT_EQ(this->Env().GetVersionEx(&version), kErrorSuccess);
  EXPECT_EQ(version.platformId, kVerPlatformWin32Nt);
  std::u16string current;
  ASSERT_EQ(this->Env().GetCurrentDirectory(260, &current), kErrorSuccess);
  EXPECT_EQ(current.substr(1, 2), u":\\");
  std::u16string user;
  ASSERT_EQ(this->Env().GetCurrentUserSid(&user), kErrorSuccess);
  EXPECT_EQ(user.substr(0, 6), u"S-1-5-") << "the account the process runs as";

  const FileTime now = this->Env().GetSystemTimeAsFileTime();
  const int64_t seconds = this->Env().Time();
  EXPECT_NEAR(static_cast<double>(now / 10'000'000 - 11'644'473'600), static_cast<double>(seconds), 2.0);
  SystemTime local;
  ASSERT_TRUE(this->Env().FileTimeToLocalSystemTime(now, &local));
  const SystemTime direct = this->Env().GetLocalTime();
  EXPECT_EQ(local.year, direct.year);
  EXPECT_EQ(local.hour, direct.hour);
  EXPECT_FALSE(this->Env().FileTimeToLocalSystemTime(0x8000000000000000ull, &local));
}

REGISTER_TYPED_TEST_SUITE_P(EnvironmentContractTest, ExpandsKnownNamesIgnoringCaseAndLeavesTheRest,
                            SpecialFoldersFollowTheWindowsLayout, NamesVersionAndClocksAreConsistent);

}  // namespace EnvironmentContract
