// The emulated trust provider as strict as Windows': the driver policy's vendor roots,
// registered catalogs only, the time-stamp authority's usage, lifetime signing, unknown
// critical extensions, revocations after the stamp, BER framing and several signers.
// Every signature is made in the test, by OpenSSL or osslsigncode.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>

#include "platform/emulated/authenticode/certificate_chain.h"
#include "platform/text_encoding.h"
#include "support/catalog_builder.h"
#include "support/counter_signature.h"
#include "support/message_framing.h"
#include "support/signed_files.h"
#include "support/temporary_machine.h"

namespace {

using Platform::TrustVerdict;
using SigningKit::Bytes;
using SigningKit::Identity;

constexpr char kCatalogHostFolder[] = "/Windows/System32/CatRoot/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}/";
constexpr char16_t kCatalogFolder[] = u"C:\\Windows\\System32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\";

std::vector<uint8_t> Sha256Of(const std::string& text) {
  std::vector<uint8_t> digest(32);
  EVP_Digest(text.data(), text.size(), digest.data(), nullptr, EVP_sha256(), nullptr);
  return digest;
}

std::u16string TagOf(const std::string& text) {
  std::u16string tag;
  for (uint8_t byte : Sha256Of(text))
    for (int shift : {4, 0}) tag += u"0123456789ABCDEF"[(byte >> shift) & 15];
  return tag;
}

class TrustStrictnessTest : public ::testing::Test {
 protected:
  // A Windows 10 machine trusting the test root, whose catalog database holds
  // app.cat and whose vendor roots are the given thumbprints.
  void Boot(SignedFiles& files, std::vector<std::u16string> vendorRoots) {
    Emulated::MachineConfig config;
    config.trust.registeredCatalogs = {u"app.cat"};
    config.trust.vendorRoots = std::move(vendorRoots);
    machine = std::make_unique<TemporaryMachine>(config);
    SigningKit::AddToStore(machine->Service(), u"ROOT", files.root.certificate.get());
  }
  void BootWithTestRootAsVendor(SignedFiles& files) { Boot(files, {Emulated::ThumbprintOf(files.root.certificate.get())}); }
  Platform::Trust& Trust() { return machine->Service().Trust(); }
  std::u16string Place(const std::string& host, const std::string& name) {
    std::filesystem::copy_file(host, machine->HostFolder() + "/" + name, std::filesystem::copy_options::overwrite_existing);
    return u"C:\\" + Platform::Utf8ToUtf16(name);
  }
  // A member file holding text, and a catalog of it under name.
  void WriteCatalog(const std::string& name, const Bytes& catalog) {
    SigningKit::WriteHostFile(machine->HostFolder() + kCatalogHostFolder + name, catalog);
  }
  Bytes CatalogOf(const std::string& text, const SignedFiles& files) {
    SigningKit::WriteHostFile(machine->HostFolder() + "/member.txt", Bytes(text.begin(), text.end()));
    return SigningKit::SignCatalog(SigningKit::TrustList({Sha256Of(text)}, true), files.signer, files.intermediate);
  }
  TrustVerdict CheckMember(const std::string& catalog, const std::string& text) {
    return Trust().VerifyCatalogMember(kCatalogFolder + Platform::Utf8ToUtf16(catalog), TagOf(text), u"C:\\member.txt");
  }
  std::optional<std::u16string> FindCatalog(const std::string& text) {
    return Trust().FindCatalogForHash(Trust().AcquireCatalogContext(2), Sha256Of(text));
  }
  Identity Issue(SigningKit::CertificateSpec wanted, const Identity& issuer) {
    return SigningKit::Issue(wanted, &issuer, SignedFiles::Get().folder.Path());
  }
  // zlib1.dll signed by signer (its chain: signer, then the test intermediate).
  std::string SignedBy(const Identity& signer, const std::string& name) {
    SignedFiles& files = SignedFiles::Get();
    const auto at = files.folder.Path();
    const std::string chain = SigningKit::ChainFile(at / (name + ".pem"), {&signer, &files.intermediate});
    const std::string out = (at / name).string();
    EXPECT_TRUE(SigningKit::SignImage(files.image, out, chain, signer.keyPem, "sha256")) << "see " << out << ".log";
    return out;
  }

  std::unique_ptr<TemporaryMachine> machine;
};

TEST_F(TrustStrictnessTest, DriverPolicyAcceptsCatalogMembersOnlyUnderAVendorRoot) {
  REQUIRE_SIGNED_FILES(files);
  Boot(files, {u"0000000000000000000000000000000000000000"});
  WriteCatalog("app.cat", CatalogOf("doc", files));
  // Trusted by the machine, but not the vendor's: the driver policy refuses it.
  EXPECT_EQ(CheckMember("app.cat", "doc").status, Platform::kCertEUntrustedRoot);
  // Embedded signatures are judged by the ordinary policy, which any trusted root passes.
  EXPECT_EQ(Trust().VerifyEmbedded(Place(files.stamped, "app.dll")).status, Platform::kSOk);

  BootWithTestRootAsVendor(files);
  WriteCatalog("app.cat", CatalogOf("doc", files));
  const TrustVerdict verdict = CheckMember("app.cat", "doc");
  EXPECT_EQ(verdict.status, Platform::kSOk);
  ASSERT_TRUE(verdict.signer && verdict.signer->certificate);
  EXPECT_EQ(verdict.signer->certificate->simpleDisplayName, u"Vyrelle Software Ltd");
}

TEST_F(TrustStrictnessTest, OnlyCatalogsTheDatabaseHoldsAreFound) {
  REQUIRE_SIGNED_FILES(files);
  BootWithTestRootAsVendor(files);
  WriteCatalog("copied.cat", CatalogOf("doc", files));
  EXPECT_FALSE(FindCatalog("doc")) << "a catalog merely copied into CatRoot";
  WriteCatalog("app.cat", CatalogOf("doc", files));
  EXPECT_EQ(FindCatalog("doc"), std::u16string(kCatalogFolder) + u"app.cat");
}

TEST_F(TrustStrictnessTest, TimeStampAuthorityNeedsTheTimeStampingUsage) {
  REQUIRE_SIGNED_FILES(files);
  BootWithTestRootAsVendor(files);
  const Identity codeSigner = Issue({.commonName = "Stamps With Code Usage", .usages = "codeSigning", .serial = 60}, files.root);
  const Identity anyUse = Issue({.commonName = "Stamps With Any Usage", .serial = 61}, files.root);
  const auto at = files.folder.Path();
  const time_t when = std::time(nullptr) - 60;
  ASSERT_TRUE(SigningKit::AddCounterSignature(files.plain, (at / "wrong-tsa.dll").string(), codeSigner, when));
  ASSERT_TRUE(SigningKit::AddCounterSignature(files.plain, (at / "any-tsa.dll").string(), anyUse, when));
  EXPECT_EQ(Trust().VerifyEmbedded(Place((at / "wrong-tsa.dll").string(), "wrong.dll")).status,
            Platform::kTrustETimeStamp);
  // A certificate that lists no usage at all is good for every use.
  EXPECT_EQ(Trust().VerifyEmbedded(Place((at / "any-tsa.dll").string(), "any.dll")).status, Platform::kSOk);
}

TEST_F(TrustStrictnessTest, LifetimeSigningCertificateIsJudgedAtTheClockDespiteItsStamp) {
  REQUIRE_SIGNED_FILES(files);
  BootWithTestRootAsVendor(files);
  const Identity lifetime = Issue({.commonName = "Lifetime Signer", .notAfterSeconds = 2L * 86400,
                                   .usages = "codeSigning,1.3.6.1.4.1.311.10.3.13", .serial = 62},
                                  files.intermediate);
  const auto at = files.folder.Path();
  const time_t when = std::time(nullptr) - 60;
  ASSERT_TRUE(SigningKit::AddCounterSignature(SignedBy(lifetime, "lifetime.dll"), (at / "lifetime-stamped.dll").string(),
                                              files.authority, when));
  ASSERT_TRUE(SigningKit::AddCounterSignature(files.plain, (at / "ordinary-stamped.dll").string(), files.authority, when));
  const auto lifetimePath = Place((at / "lifetime-stamped.dll").string(), "lifetime.dll");
  const auto ordinaryPath = Place((at / "ordinary-stamped.dll").string(), "ordinary.dll");
  machine->Machine().Time().Advance(std::chrono::hours(24 * 3));  // both signers have expired
  const TrustVerdict expired = Trust().VerifyEmbedded(lifetimePath);
  EXPECT_EQ(expired.status, Platform::kCertEExpired);
  ASSERT_TRUE(expired.signer);
  // The signed time is still the stamp's.
  EXPECT_EQ(expired.signer->verifyAsOfTime, (static_cast<uint64_t>(when) + 11644473600ull) * 10000000ull);
  EXPECT_EQ(Trust().VerifyEmbedded(ordinaryPath).status, Platform::kSOk);
}

TEST_F(TrustStrictnessTest, UnknownCriticalExtensionFailsTheChain) {
  REQUIRE_SIGNED_FILES(files);
  BootWithTestRootAsVendor(files);
  const Identity critical = Issue({.commonName = "Critical Stranger", .usages = "codeSigning", .serial = 63,
                                   .extension = {"1.3.6.1.4.1.55555.1", "critical,DER:05:00"}},
                                  files.intermediate);
  const Identity noncritical = Issue({.commonName = "Quiet Stranger", .usages = "codeSigning", .serial = 64,
                                      .extension = {"1.3.6.1.4.1.55555.1", "DER:05:00"}},
                                     files.intermediate);
  EXPECT_EQ(Trust().VerifyEmbedded(Place(SignedBy(critical, "critical.dll"), "critical.dll")).status,
            Platform::kCertECritical);
  EXPECT_EQ(Trust().VerifyEmbedded(Place(SignedBy(noncritical, "quiet.dll"), "quiet.dll")).status, Platform::kSOk);
}

// A chain of its own, valid for days before now, so that a stamp can predate a
// revocation: root, catalog signer (serial 41) and time-stamp authority.
TEST_F(TrustStrictnessTest, RevocationDatedAfterTheStampDoesNotRevoke) {
  REQUIRE_SIGNED_FILES(files);
  const auto at = files.folder.Path();
  const long day = 86400;
  const Identity root = SigningKit::Issue({.commonName = "Old Root", .notBeforeSeconds = -10 * day, .authority = true,
                                           .serial = 40}, nullptr, at);
  const Identity signer = Issue({.commonName = "Old Catalog Signer", .notBeforeSeconds = -5 * day,
                                 .usages = "codeSigning", .serial = 41}, root);
  const Identity stamper = Issue({.commonName = "Old Time Stamping", .notBeforeSeconds = -10 * day,
                                  .usages = "critical,timeStamping", .serial = 42}, root);
  Boot(files, {Emulated::ThumbprintOf(root.certificate.get())});
  SigningKit::AddToStore(machine->Service(), u"ROOT", root.certificate.get());
  SigningKit::WriteHostFile(machine->HostFolder() + "/member.txt", {'d', 'o', 'c'});
  const Bytes catalog = SigningKit::SignCatalog(SigningKit::TrustList({Sha256Of("doc")}, true), signer, root);
  // Revoked a day ago, on a CRL issued an hour ago.
  SigningKit::AddCrl(machine->Service(), root, {41}, u"old", day, 3600);
  WriteCatalog("app.cat", *SigningKit::CounterSignMessage(catalog, stamper, std::time(nullptr) - day / 2));
  EXPECT_EQ(CheckMember("app.cat", "doc").status, Platform::kCertERevoked) << "stamped after the revocation";
  WriteCatalog("app.cat", *SigningKit::CounterSignMessage(catalog, stamper, std::time(nullptr) - 2 * day));
  EXPECT_EQ(CheckMember("app.cat", "doc").status, Platform::kSOk) << "stamped before the revocation";
  WriteCatalog("app.cat", catalog);
  EXPECT_EQ(CheckMember("app.cat", "doc").status, Platform::kCertERevoked) << "not stamped: judged now";
}

TEST_F(TrustStrictnessTest, CatalogInBerFramingDecodes) {
  REQUIRE_SIGNED_FILES(files);
  BootWithTestRootAsVendor(files);
  const Bytes streamed = MessageFraming::StreamedFraming(CatalogOf("doc", files));
  WriteCatalog("app.cat", streamed);
  ASSERT_TRUE(FindCatalog("doc"));
  EXPECT_EQ(CheckMember("app.cat", "doc").status, Platform::kSOk);
  // OpenSSL's own parser reads the framing as indefinite lengths.
  const std::string file = machine->HostFolder() + kCatalogHostFolder + "app.cat";
  EXPECT_EQ(std::system(("openssl asn1parse -inform DER -in '" + file + "' >'" + file + ".asn1' 2>&1").c_str()), 0);
  std::ifstream parsed(file + ".asn1");
  const std::string text((std::istreambuf_iterator<char>(parsed)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("l=inf"), std::string::npos) << text.substr(0, 400);
}

TEST_F(TrustStrictnessTest, CatalogWithSeveralSignersIsJudgedByTheFirst) {
  REQUIRE_SIGNED_FILES(files);
  BootWithTestRootAsVendor(files);
  const Identity strangerRoot =
      SigningKit::Issue({.commonName = "Stranger Root", .authority = true, .serial = 70}, nullptr, files.folder.Path());
  const Identity stranger = Issue({.commonName = "Stranger Signer", .usages = "codeSigning", .serial = 71}, strangerRoot);
  SigningKit::WriteHostFile(machine->HostFolder() + "/member.txt", {'d', 'o', 'c'});
  const Bytes sorted = SigningKit::SignCatalog(SigningKit::TrustList({Sha256Of("doc")}, true), files.signer,
                                               files.intermediate, {{&stranger, &strangerRoot}});
  const Bytes swapped = MessageFraming::SwapFirstTwoSigners(sorted);
  ASSERT_FALSE(swapped.empty());
  for (const Bytes& catalog : {sorted, swapped}) {
    WriteCatalog("app.cat", catalog);
    const TrustVerdict verdict = CheckMember("app.cat", "doc");
    ASSERT_TRUE(verdict.signer && verdict.signer->certificate);
    if (verdict.signer->certificate->simpleDisplayName == u"Vyrelle Software Ltd")
      EXPECT_EQ(verdict.status, Platform::kSOk);
    else
      EXPECT_EQ(verdict.status, Platform::kCertEUntrustedRoot);
  }
  // Both orders were seen: the verdicts above followed whichever signer came first.
  WriteCatalog("app.cat", sorted);
  const auto first = CheckMember("app.cat", "doc").signer->certificate->simpleDisplayName;
  WriteCatalog("app.cat", swapped);
  EXPECT_NE(CheckMember("app.cat", "doc").signer->certificate->simpleDisplayName, first);
}

}  // namespace
