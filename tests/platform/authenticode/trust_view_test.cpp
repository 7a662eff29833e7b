// The emulated trust provider over real PE files signed in the test set-up, and over
// real Debian-signed images.

#include <gtest/gtest.h>

#include <chrono>

#include "platform/emulated/authenticode/certificate_chain.h"
#include "platform/emulated/authenticode/certificate_stores.h"
#include "platform/text_encoding.h"
#include "support/catalog_builder.h"
#include "support/counter_signature.h"
#include "support/signed_files.h"
#include "support/temporary_machine.h"

namespace {

using Platform::TrustVerdict;
using SigningKit::AddToStore;

constexpr char16_t kCatalogFolder[] = u"C:\\Windows\\System32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";

std::u16string MemberTag(const std::vector<uint8_t>& hash) {
  std::u16string tag;
  for (uint8_t byte : hash)
    for (int shift : {4, 0}) tag += u"0123456789ABCDEF"[(byte >> shift) & 15];
  return tag;
}

std::vector<uint8_t> Sha256Of(const std::string& text) {
  std::vector<uint8_t> digest(32);
  EVP_Digest(text.data(), text.size(), digest.data(), nullptr, EVP_sha256(), nullptr);
  return digest;
}

// The catalogs these tests write are registered with the machine's catalog database,
// and the test root counts as the vendor's, as the driver policy wants for members.
Emulated::MachineConfig CatalogMachine(Emulated::MachineConfig config = {}) {
  config.trust.registeredCatalogs = {u"a-other.cat", u"b-app.cat", u"doc.cat", u"z.cat"};
  const SignedFiles& files = SignedFiles::Get();
  if (files.failure.empty()) config.trust.vendorRoots = {Emulated::ThumbprintOf(files.root.certificate.get())};
  return config;
}

class TrustViewTest : public ::testing::Test {
 protected:
  Platform::Trust& Trust() { return machine.Service().Trust(); }
  // Copies a host file onto drive C under name; the Windows path.
  std::u16string Place(const std::string& host, const std::string& name) {
    std::filesystem::copy_file(host, machine.HostFolder() + "/" + name);
    return u"C:\\" + Platform::Utf8ToUtf16(name);
  }
  void TrustRoot(SignedFiles& files) { AddToStore(machine.Service(), u"ROOT", files.root.certificate.get()); }
  void AddCatalog(const std::string& name, const std::vector<std::vector<uint8_t>>& hashes, bool secondGeneration,
                  const SigningKit::Identity& signer) {
    const auto bytes = SigningKit::SignCatalog(SigningKit::TrustList(hashes, secondGeneration), signer,
                                               SignedFiles::Get().intermediate);
    SigningKit::WriteHostFile(machine.HostFolder() + "/Windows/System32/CatRoot/"
                              "{F750E6C3-38EE-11D1-85E5-00C04FC295EE}/" + name, bytes);
  }
  std::vector<uint8_t> CatalogHash(Platform::Handle context, const std::u16string& path, int generation) {
    std::vector<uint8_t> hash;
    EXPECT_EQ(Trust().CalculateCatalogHash(context, path, generation, &hash), Platform::kErrorSuccess);
    return hash;
  }

  TemporaryMachine machine{CatalogMachine()};
};

TEST_F(TrustViewTest, TimeStampedSignatureNamesSignerAndAuthorityAtTheStampTime) {
  REQUIRE_SIGNED_FILES(files);
  TrustRoot(files);
  const auto path = Place(files.stamped, "app.dll");
  const Platform::FileTime before = machine.Machine().Time().NowUtc();
  const TrustVerdict verdict = Trust().VerifyEmbedded(path);
  ASSERT_EQ(verdict.status, Platform::kSOk);
  ASSERT_TRUE(verdict.signer && verdict.signer->certificate);
  const Platform::CertificateNames& signer = *verdict.signer->certificate;
  EXPECT_EQ(signer.simpleDisplayName, u"Vyrelle Software Ltd");
  EXPECT_EQ(signer.emailName, u"builds@vyrelle.example");  // the alternative name before the attribute
  EXPECT_EQ(signer.issuerSimpleDisplayName, u"Brumevale Test Code CA");
  ASSERT_EQ(verdict.signer->counterSigners.size(), 1u);
  EXPECT_EQ(verdict.signer->counterSigners[0].simpleDisplayName, u"Brumevale Test Time Stamping");
  // The stamp was made while the files were signed, before this check began.
  EXPECT_LE(verdict.signer->verifyAsOfTime, before);
  EXPECT_GT(verdict.signer->verifyAsOfTime, before - 600ull * 10000000);

  // Once the signer's certificate has expired the stamp still vouches for it; an
  // unstamped signature is judged at the machine's clock and has expired.
  machine.Machine().Time().Advance(std::chrono::hours(24 * 3));
  EXPECT_EQ(Trust().VerifyEmbedded(path).status, Platform::kSOk);
  const TrustVerdict late = Trust().VerifyEmbedded(Place(files.plain, "plain.dll"));
  EXPECT_EQ(late.status, Platform::kCertEExpired);
  ASSERT_TRUE(late.signer);
  EXPECT_TRUE(late.signer->counterSigners.empty());
  EXPECT_GE(late.signer->verifyAsOfTime, before + 3ull * 24 * 3600 * 10000000);
}

TEST_F(TrustViewTest, StoresDecideTrustDistrustAndIntermediates) {
  REQUIRE_SIGNED_FILES(files);
  const auto path = Place(files.stamped, "app.dll");
  EXPECT_EQ(Trust().VerifyEmbedded(path).status, Platform::kCertEUntrustedRoot);
  // The root in the enterprise copy of the stores counts as much as in ROOT.
  AddToStore(machine.Service(), u"ROOT", files.root.certificate.get(), u"SOFTWARE\\Microsoft\\EnterpriseCertificates");
  EXPECT_EQ(Trust().VerifyEmbedded(path).status, Platform::kSOk);
  AddToStore(machine.Service(), u"Disallowed", files.intermediate.certificate.get(),
             u"SOFTWARE\\Policies\\Microsoft\\SystemCertificates");
  EXPECT_EQ(Trust().VerifyEmbedded(path).status, Platform::kTrustEExplicitDistrust);
}

TEST_F(TrustViewTest, CodeSigningUsageIsRequiredOnlyWhenUsagesAreListed) {
  REQUIRE_SIGNED_FILES(files);
  TrustRoot(files);
  EXPECT_EQ(Trust().VerifyEmbedded(Place(files.wrongUsageImage, "web.dll")).status, Platform::kCertEWrongUsage);
  const TrustVerdict free = Trust().VerifyEmbedded(Place(files.noUsageImage, "free.dll"));
  EXPECT_EQ(free.status, Platform::kSOk);
  ASSERT_TRUE(free.signer && free.signer->certificate);
  EXPECT_EQ(free.signer->certificate->simpleDisplayName, u"Usage Free Org");  // no common name
  EXPECT_EQ(free.signer->certificate->emailName, u"");
}

TEST_F(TrustViewTest, DamagedOrMissingSignaturesAreToldApart) {
  REQUIRE_SIGNED_FILES(files);
  TrustRoot(files);
  std::vector<uint8_t> bytes = SigningKit::ReadHostFile(files.stamped);
  bytes[0x400] ^= 1;  // inside the first section
  SigningKit::WriteHostFile(machine.HostFolder() + "/tampered.dll", bytes);
  EXPECT_EQ(Trust().VerifyEmbedded(u"C:\\tampered.dll").status, Platform::kTrustEBadDigest);

  // A certificate table that holds no signature, an unsigned image, a file that is
  // not an image and a missing file all count as not signed.
  const auto layoutEntry = [&] {
    const uint32_t pe = bytes[0x3C] | bytes[0x3D] << 8;
    return pe + 24 + 112 + 4 * 8;  // PE32+: the certificate-table directory entry
  }();
  const uint32_t table = bytes[layoutEntry] | bytes[layoutEntry + 1] << 8 | bytes[layoutEntry + 2] << 16;
  bytes[0x400] ^= 1;
  for (size_t i = table + 8; i < table + 40; ++i) bytes[i] = 0;
  SigningKit::WriteHostFile(machine.HostFolder() + "/garbled.dll", bytes);
  SigningKit::WriteHostFile(machine.HostFolder() + "/notes.txt", {'h', 'i'});
  for (const char16_t* path : {u"C:\\garbled.dll", u"C:\\notes.txt", u"C:\\missing.dll"})
    EXPECT_EQ(Trust().VerifyEmbedded(path).status, Platform::kTrustENoSignature) << Platform::Utf16ToUtf8(path);
  EXPECT_EQ(Trust().VerifyEmbedded(Place(files.image, "zlib1.dll")).status, Platform::kTrustENoSignature);
}

TEST_F(TrustViewTest, SecondGenerationCatalogListsImagesAndPlainFiles) {
  REQUIRE_SIGNED_FILES(files);
  TrustRoot(files);
  const auto image = Place(files.image, "zlib1.dll");
  SigningKit::WriteHostFile(machine.HostFolder() + "/readme.txt", {'d', 'o', 'c'});
  const Platform::Handle context = Trust().AcquireCatalogContext(2);
  ASSERT_NE(context, 0u);
  const auto imageHash = CatalogHash(context, image, 2);
  const auto textHash = CatalogHash(context, u"C:\\readme.txt", 2);
  ASSERT_EQ(imageHash.size(), 32u);
  // A plain file is indexed by the hash of its bytes.
  EXPECT_EQ(textHash, Sha256Of("doc"));
  EXPECT_FALSE(Trust().FindCatalogForHash(context, imageHash));
  AddCatalog("b-app.cat", {textHash, imageHash}, true, files.signer);
  AddCatalog("a-other.cat", {std::vector<uint8_t>(32, 7)}, true, files.signer);
  const auto catalog = Trust().FindCatalogForHash(context, imageHash);
  ASSERT_TRUE(catalog);
  EXPECT_EQ(*catalog, std::u16string(kCatalogFolder) + u"\\b-app.cat");
  const TrustVerdict verdict = Trust().VerifyCatalogMember(*catalog, MemberTag(imageHash), image);
  EXPECT_EQ(verdict.status, Platform::kSOk);
  ASSERT_TRUE(verdict.signer && verdict.signer->certificate);
  EXPECT_EQ(verdict.signer->certificate->simpleDisplayName, u"Vyrelle Software Ltd");
  EXPECT_EQ(Trust().VerifyCatalogMember(*catalog, MemberTag(textHash), u"C:\\readme.txt").status, Platform::kSOk);
  // A member whose file changed after cataloguing no longer matches.
  SigningKit::WriteHostFile(machine.HostFolder() + "/readme.txt", {'D', 'o', 'c'});
  EXPECT_EQ(Trust().VerifyCatalogMember(*catalog, MemberTag(textHash), u"C:\\readme.txt").status,
            Platform::kTrustEBadDigest);
}

TEST_F(TrustViewTest, OlderWindowsHasOnlyTheFirstGenerationAndHashesWithSha1) {
  REQUIRE_SIGNED_FILES(files);
  Emulated::MachineConfig windows7;
  windows7.version.majorVersion = 6;
  windows7.version.minorVersion = 1;
  TemporaryMachine old(CatalogMachine(windows7));
  Platform::Trust& trust = old.Service().Trust();
  AddToStore(old.Service(), u"ROOT", files.root.certificate.get());
  const Platform::Handle library = trust.LoadTrustLibrary();
  EXPECT_TRUE(trust.HasTrustFunction(library, "CryptCATAdminAcquireContext"));
  EXPECT_FALSE(trust.HasTrustFunction(library, "CryptCATAdminAcquireContext2"));
  EXPECT_EQ(trust.AcquireCatalogContext(2), 0u);
  const Platform::Handle context = trust.AcquireCatalogContext(1);
  ASSERT_NE(context, 0u);
  std::filesystem::copy_file(files.image, old.HostFolder() + "/zlib1.dll");
  std::vector<uint8_t> hash;
  ASSERT_EQ(trust.CalculateCatalogHash(context, u"C:\\zlib1.dll", 1, &hash), Platform::kErrorSuccess);
  ASSERT_EQ(hash.size(), 20u);
  const auto bytes = SigningKit::SignCatalog(SigningKit::TrustList({hash}, false), files.signer, files.intermediate);
  SigningKit::WriteHostFile(old.HostFolder() + "/Windows/System32/CatRoot/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}/z.cat",
                            bytes);
  const auto catalog = trust.FindCatalogForHash(context, hash);
  ASSERT_TRUE(catalog);
  EXPECT_EQ(trust.VerifyCatalogMember(*catalog, MemberTag(hash), u"C:\\zlib1.dll").status, Platform::kSOk);
}

TEST_F(TrustViewTest, CatalogCheckHonoursTheIssuersCrl) {
  REQUIRE_SIGNED_FILES(files);
  TrustRoot(files);
  SigningKit::WriteHostFile(machine.HostFolder() + "/readme.txt", {'d', 'o', 'c'});
  AddCatalog("doc.cat", {Sha256Of("doc")}, true, files.signer);
  const auto catalog = std::u16string(kCatalogFolder) + u"\\doc.cat";
  const auto check = [&] { return Trust().VerifyCatalogMember(catalog, MemberTag(Sha256Of("doc")), u"C:\\readme.txt"); };
  // A CRL of another issuer, or one listing other serials, does not revoke.
  SigningKit::AddCrl(machine.Service(), files.root, {3}, u"root");
  SigningKit::AddCrl(machine.Service(), files.intermediate, {5, 6}, u"first");
  EXPECT_EQ(check().status, Platform::kSOk);
  SigningKit::AddCrl(machine.Service(), files.intermediate, {3}, u"second");
  const TrustVerdict revoked = check();
  EXPECT_EQ(revoked.status, Platform::kCertERevoked);
  EXPECT_TRUE(revoked.signer);
  // The embedded check does not look at revocation.
  EXPECT_EQ(Trust().VerifyEmbedded(Place(files.stamped, "app.dll")).status, Platform::kSOk);
}

TEST_F(TrustViewTest, MachineSwitchesTakeAwayTheLibraryOrTheContext) {
  Emulated::MachineConfig broken;
  broken.trust.catalogContextAvailable = false;
  TemporaryMachine noContext(broken);
  EXPECT_NE(noContext.Service().Trust().LoadTrustLibrary(), 0u);
  EXPECT_EQ(noContext.Service().Trust().AcquireCatalogContext(2), 0u);
  broken.trust.libraryAvailable = false;
  TemporaryMachine noLibrary(broken);
  EXPECT_EQ(noLibrary.Service().Trust().LoadTrustLibrary(), 0u);
  EXPECT_FALSE(noLibrary.Service().Trust().HasTrustFunction(0, "CryptCATAdminAcquireContext"));
}

TEST(CertificateStoreBlobTest, FindsThePropertyAmongOthersAndRejectsTruncation) {
  auto blob = SigningKit::SerializedBlob(0x0B, {1, 2});  // a friendly-name property first
  const auto certificate = SigningKit::SerializedBlob(0x20, {9, 8, 7});
  blob.insert(blob.end(), certificate.begin(), certificate.end());
  EXPECT_EQ(Emulated::SerializedProperty(blob, 0x20), std::vector<uint8_t>({9, 8, 7}));
  EXPECT_FALSE(Emulated::SerializedProperty(blob, 0x21));
  blob.pop_back();
  EXPECT_FALSE(Emulated::SerializedProperty(blob, 0x20));
}

// Real images signed by Debian: the Secure Boot CA that Debian's shim carries in its
// own image is the root; the Microsoft-signed shim (two certificate entries, a real
// RFC 3161 stamp) chains to roots no Debian package ships.
class RealSignatureTest : public TrustViewTest {
 protected:
  static X509* DebianSecureBootCa(const std::vector<uint8_t>& shim) {
    for (size_t at = 0; at + 4 < shim.size(); ++at) {
      if (shim[at] != 0x30 || shim[at + 1] != 0x82) continue;
      const unsigned char* cursor = shim.data() + at;
      X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(shim.size() - at));
      if (!certificate) continue;
      char name[256] = {};
      X509_NAME_oneline(X509_get_subject_name(certificate), name, sizeof name);
      if (std::string(name) == "/CN=Debian Secure Boot CA") return certificate;
      X509_free(certificate);
    }
    return nullptr;
  }
};

TEST_F(RealSignatureTest, DebianSignedImageChainsToTheDebianSecureBootCa) {
  const std::string shim = SignedFiles::Fetched("usr/lib/shim/shimx64.efi.signed");
  const std::string fallback = SignedFiles::Fetched("usr/lib/shim/fbx64.efi.signed");
  if (shim.empty() || fallback.empty()) GTEST_SKIP() << "shim images not fetched: run scripts/fetch_signed_pe.sh";
  const Emulated::X509Ptr ca(DebianSecureBootCa(SigningKit::ReadHostFile(shim)));
  ASSERT_TRUE(ca);
  const auto path = Place(fallback, "fbx64.efi");
  EXPECT_EQ(Trust().VerifyEmbedded(path).status, Platform::kCertEUntrustedRoot);
  AddToStore(machine.Service(), u"ROOT", ca.get());
  const TrustVerdict verdict = Trust().VerifyEmbedded(path);
  EXPECT_EQ(verdict.status, Platform::kSOk);
  ASSERT_TRUE(verdict.signer && verdict.signer->certificate);
  EXPECT_EQ(verdict.signer->certificate->simpleDisplayName, u"Debian Secure Boot Signer 2022 - shim");
  EXPECT_EQ(verdict.signer->certificate->issuerSimpleDisplayName, u"Debian Secure Boot CA");
  EXPECT_TRUE(verdict.signer->counterSigners.empty());
  // The Microsoft signature's digest is sound; only its roots are missing here.
  EXPECT_EQ(Trust().VerifyEmbedded(Place(shim, "shimx64.efi")).status, Platform::kCertEUntrustedRoot);
}


// The generated catalogs are judged by OpenSSL's own tools too, so that the parser
// under test is not the only judge of its test data.
TEST(CatalogBuilderTest, GeneratedCatalogPassesOpenSslTools) {
  REQUIRE_SIGNED_FILES(files);
  const SigningKit::Bytes list = SigningKit::TrustList({Sha256Of("a"), Sha256Of("b")}, true);
  const auto at = files.folder.Path();
  SigningKit::WriteHostFile(at / "check.cat", SigningKit::SignCatalog(list, files.signer, files.intermediate));
  SigningKit::WriteHostFile(at / "check.ctl", SigningKit::Bytes(list.begin() + 2 + (list[1] & 0x7F), list.end()));
  const std::string cat = (at / "check.cat").string();
  EXPECT_EQ(std::system(("openssl asn1parse -inform DER -in '" + cat + "' >'" + cat + ".asn1' 2>&1").c_str()), 0);
  const std::string verify = "openssl smime -verify -binary -inform DER -in '" + cat + "' -content '" +
                             (at / "check.ctl").string() + "' -CAfile '" + files.root.certificatePem +
                             "' -purpose any -out /dev/null 2>'" + cat + ".log'";
  EXPECT_EQ(std::system(verify.c_str()), 0) << "see " << cat << ".log";
  std::ifstream parsed(cat + ".asn1");
  const std::string text((std::istreambuf_iterator<char>(parsed)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find(":1.3.6.1.4.1.311.10.1"), std::string::npos);    // certificate trust list
  EXPECT_NE(text.find(":1.3.6.1.4.1.311.12.1.3"), std::string::npos);  // second-generation members
}


TEST_F(TrustViewTest, Pkcs9CounterSignatureDatesTheSignature) {
  REQUIRE_SIGNED_FILES(files);
  TrustRoot(files);
  const time_t when = std::time(nullptr) - 3600;
  const auto at = files.folder.Path();
  ASSERT_TRUE(SigningKit::AddCounterSignature(files.plain, (at / "pkcs9.dll").string(), files.authority, when));
  ASSERT_TRUE(SigningKit::AddCounterSignature(files.plain, (at / "spoiled.dll").string(), files.authority, when, true));
  machine.Machine().Time().Advance(std::chrono::hours(24 * 3));  // past the signer's validity
  const TrustVerdict verdict = Trust().VerifyEmbedded(Place((at / "pkcs9.dll").string(), "pkcs9.dll"));
  EXPECT_EQ(verdict.status, Platform::kSOk);
  ASSERT_TRUE(verdict.signer);
  EXPECT_EQ(verdict.signer->verifyAsOfTime, (static_cast<uint64_t>(when) + 11644473600ull) * 10000000ull);
  ASSERT_EQ(verdict.signer->counterSigners.size(), 1u);
  EXPECT_EQ(verdict.signer->counterSigners[0].simpleDisplayName, u"Brumevale Test Time Stamping");
  // A stamp over some other signature value does not verify: the check fails.
  EXPECT_EQ(Trust().VerifyEmbedded(Place((at / "spoiled.dll").string(), "spoiled.dll")).status,
            Platform::kTrustETimeStamp);
}

}  // namespace
