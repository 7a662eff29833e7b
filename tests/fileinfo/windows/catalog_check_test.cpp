// The catalog check of SignatureVerifier over the Win32 adapters, against the
// stand-in trust library of this folder (standin/standin_wintrust.cpp), which plays
// Windows 10's rule for SHA-256 catalogs: a member is found only by the hash handed
// to WinVerifyTrust together with the administrator context it was calculated with.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fileinfo/signature_verifier.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_system.h"

#include <bcrypt.h>

using FileInfo::SignatureVerifier;
using FileInfo::SignerRecord;
using enum FileInfo::SignatureCode;

namespace {

namespace fs = std::filesystem;

std::u16string U16(const fs::path& path) {
  const std::wstring wide = path.wstring();
  return std::u16string(wide.begin(), wide.end());
}

std::string Sha256Tag(const std::string& bytes) {
  BCRYPT_ALG_HANDLE provider = nullptr;
  BCRYPT_HASH_HANDLE state = nullptr;
  std::vector<UCHAR> hash(32);
  EXPECT_EQ(BCryptOpenAlgorithmProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0), 0);
  EXPECT_EQ(BCryptCreateHash(provider, &state, nullptr, 0, nullptr, 0, 0), 0);
  BCryptHashData(state, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), static_cast<ULONG>(bytes.size()), 0);
  EXPECT_EQ(BCryptFinishHash(state, hash.data(), 32, 0), 0);
  BCryptDestroyHash(state);
  BCryptCloseAlgorithmProvider(provider, 0);
  std::string tag;
  for (UCHAR byte : hash) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", byte);
    tag += digits;
  }
  return tag;
}

fs::path OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

class CatalogCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const HMODULE library = GetModuleHandleW(L"wintrust.dll");
    ASSERT_TRUE(library != nullptr && GetProcAddress(library, "CryptCATAdminAcquireContext2") != nullptr)
        << "the stand-in wintrust.dll beside the suite was not loaded (WINEDLLOVERRIDES=wintrust=n)";
    folder_ = fs::temp_directory_path() / ("brumevale-catalogs-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(folder_);
    SetEnvironmentVariableW(L"BRUMEVALE_STANDIN_CATALOGS", folder_.wstring().c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"BRUMEVALE_STANDIN_CATALOGS", nullptr);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  fs::path Write(const std::string& name, const std::string& bytes) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  // A catalog listing the members' SHA-256 tags, signed by the build's certificate.
  void WriteCatalog(const std::string& name, const std::vector<std::string>& members) {
    std::string text;
    for (const std::string& member : members) text += Sha256Tag(member) + "\r\n";
    Write(name + ".cat", text);
    fs::copy_file(OwnFolder() / "catalog_signer.der", folder_ / (name + ".cer"));
  }

  Win32::System system_;
  fs::path folder_;
};

TEST_F(CatalogCheckTest, AMemberOfASha256CatalogIsTrustedWithTheCatalogsSigner) {
  const std::string program = "MZ catalog-signed program, no signature of its own";
  const fs::path member = Write("tool.exe", program);
  WriteCatalog("system", {"some other member", program});

  SignatureVerifier verifier(system_);
  SignerRecord signer;
  std::vector<SignerRecord> counterSigners;
  EXPECT_EQ(verifier.VerifyFileSignature(U16(member), &signer, &counterSigners), kSignatureTrusted)
      << "last trust error " << std::hex << verifier.LastTrustError();
  EXPECT_EQ(signer.name, u"Orrindale Catalog Signer");
  EXPECT_EQ(signer.email, u"catalogs@orrindale.test");
  EXPECT_EQ(signer.issuer, u"Orrindale Catalog Signer");
  EXPECT_FALSE(signer.signedTime.empty());
  EXPECT_TRUE(counterSigners.empty());
}

TEST_F(CatalogCheckTest, AFileNoCatalogListsIsNotSigned) {
  const fs::path member = Write("other.exe", "MZ a program no catalog knows");
  WriteCatalog("system", {"MZ catalog-signed program"});

  SignatureVerifier verifier(system_);
  SignerRecord signer;
  EXPECT_EQ(verifier.VerifyFileSignature(U16(member), &signer, nullptr), kSignatureNotSigned);
  EXPECT_EQ(signer.name, u"");
}

}  // namespace
