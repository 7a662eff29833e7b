// The second-generation catalog path of the Win32 trust adapter against the system's
// own trust library: on Windows 10 and later cmd.exe carries no signature of its own
// and is a member of a SHA-256 system catalog.
#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/win32_api.h"
#include "platform/win32/trust_win32.h"
#include "wine_detection.h"

namespace {

std::u16string SystemProgram(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  std::wstring path = std::wstring(folder, length) + L"\\" + name;
  return std::u16string(path.begin(), path.end());
}

std::u16string TagOf(const std::vector<uint8_t>& hash) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string tag;
  for (uint8_t byte : hash) {
    tag += kDigits[byte >> 4];
    tag += kDigits[byte & 15];
  }
  return tag;
}

TEST(CatalogTrust, ACatalogSignedSystemProgramIsTrustedThroughItsSha256Catalog) {
  const HMODULE library = LoadLibraryW(L"wintrust.dll");
  ASSERT_NE(library, nullptr);
  const bool secondGeneration = GetProcAddress(library, "CryptCATAdminAcquireContext2") != nullptr &&
                                GetProcAddress(library, "CryptCATAdminCalcHashFromFileHandle2") != nullptr;
  if (!secondGeneration && WineTest::RunningUnderWine()) {
    GTEST_SKIP() << "Wine differs from Windows here. Windows: wintrust exports "
                    "CryptCATAdminAcquireContext2 and CryptCATAdminCalcHashFromFileHandle2, and cmd.exe "
                    "is a member of a SHA-256 system catalog, trusted when WinVerifyTrust gets the "
                    "administrator context and the calculated hash; Wine 8 has neither those functions "
                    "nor a catalog database (the stand-in suite fileinfo_catalog_wine_tests plays them)";
  }
  ASSERT_TRUE(secondGeneration);
  Win32::Trust trust;
  const Platform::Handle context = trust.AcquireCatalogContext(2);
  ASSERT_NE(context, 0u);
  const std::u16string program = SystemProgram(L"cmd.exe");
  std::vector<uint8_t> hash;
  ASSERT_EQ(trust.CalculateCatalogHash(context, program, 2, &hash), 0u);
  EXPECT_EQ(hash.size(), 32u);
  const auto catalog = trust.FindCatalogForHash(context, hash);
  ASSERT_TRUE(catalog.has_value());
  const Platform::TrustVerdict verdict = trust.VerifyCatalogMember(context, *catalog, TagOf(hash), program, hash);
  EXPECT_EQ(verdict.status, 0);
  EXPECT_TRUE(verdict.signer && verdict.signer->certificate);
  trust.ReleaseCatalogContext(context);
  FreeLibrary(library);
}

}  // namespace
