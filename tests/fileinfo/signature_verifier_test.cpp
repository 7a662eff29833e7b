// Signature codes and DigitalSignatures rows of process images on an emulated
// machine, over a real Debian PE signed in the test set-up.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <regex>

#include "database/load_point_database.h"
#include "fileinfo/file_information.h"
#include "fileinfo/signature_verifier.h"
#include "platform/emulated/authenticode/certificate_chain.h"
#include "platform/emulated/processes/process_control.h"
#include "platform/text_encoding.h"
#include "support/catalog_builder.h"
#include "support/signed_files.h"
#include "support/temporary_machine.h"
#include "util/brumevale_settings.h"

using Database::DigitalSignatureRows;
using Database::FileInformation;
using Database::LoadPointDatabase;

namespace FileInfo {

namespace {

// app.cat is registered with the catalog database and the test root is the vendor's,
// as the driver policy wants for catalog members.
Emulated::MachineConfig CatalogMachine(Emulated::MachineConfig config) {
  config.trust.registeredCatalogs = {u"app.cat"};
  const SignedFiles& files = SignedFiles::Get();
  if (files.failure.empty()) config.trust.vendorRoots = {Emulated::ThumbprintOf(files.root.certificate.get())};
  return config;
}

// A machine with the product's database open, and the signature rows read back.
class SignatureDesk {
 public:
  explicit SignatureDesk(Emulated::MachineConfig config = {})
      : machine_(CatalogMachine(std::move(config))), settings_(System()) {
    settings_.InitialiseProduct();
    database_ = std::make_unique<LoadPointDatabase>(System(), settings_, u"BrumevaleLogger_DB_Log.txt");
    EXPECT_TRUE(database_->OpenDatabase(settings_.DataDirectory() + u"\\Brumevale.data", false));
  }

  Platform::System& System() { return machine_.Service(); }
  std::string HostFolder() const { return machine_.HostFolder(); }
  Emulated::Machine& Machine() { return machine_.Machine(); }
  LoadPointDatabase& Database() { return *database_; }
  void TrustRoot(const SignedFiles& files) {
    SigningKit::AddToStore(System(), u"ROOT", files.root.certificate.get());
  }
  std::u16string Place(const std::string& host, const std::string& name) {
    std::filesystem::copy_file(host, machine_.HostFolder() + "/" + name);
    return u"C:\\" + Platform::Utf8ToUtf16(name);
  }
  void AddCatalog(const std::vector<std::vector<uint8_t>>& hashes, bool secondGeneration, const SignedFiles& files) {
    SigningKit::WriteHostFile(
        machine_.HostFolder() + "/Windows/System32/CatRoot/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}/app.cat",
        SigningKit::SignCatalog(SigningKit::TrustList(hashes, secondGeneration), files.signer, files.intermediate));
  }
  std::vector<uint8_t> CatalogHash(const std::u16string& path, int generation) {
    Platform::Trust& trust = System().Trust();
    std::vector<uint8_t> hash;
    trust.CalculateCatalogHash(trust.AcquireCatalogContext(generation), path, generation, &hash);
    return hash;
  }
  // name, e-mail, signed time, valid, counter-signer key of a row.
  struct Row {
    std::u16string name, email, time, valid;
    int32_t counter = -1;
  };
  Row Read(int32_t key) {
    DigitalSignatureRows rows;
    EXPECT_TRUE(database_->FindDigitalSignatureEntry(key, rows));
    if (rows.Count() == 0) return {};
    return {rows.SIGNER_NAME(0), rows.SIGNER_EMAIL(0), rows.SIGNED_TIME(0), rows.VALID(0),
            rows.COUNTER_SIGNER_KEY(0)};
  }
  int RowCount() {
    sqlite3* db = nullptr;
    const auto host = System().Files().HostPath(settings_.DataDirectory() + u"\\Brumevale.data");
    sqlite3_open_v2(host->c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    int count = -1;
    sqlite3_exec(
        db, "SELECT COUNT(*) FROM DigitalSignatures",
        [](void* out, int, char** values, char**) { return *static_cast<int*>(out) = std::atoi(values[0]), 0; },
        &count, nullptr);
    sqlite3_close(db);
    return count;
  }

 private:
  TemporaryMachine machine_;
  VyrUtilities::BrumevaleSettings settings_;
  std::unique_ptr<LoadPointDatabase> database_;
};

const std::regex kTimeText(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)");

TEST(AddFileSignatureTest, TimeStampedImageGivesSignerAndAuthorityRowsWithOneSignedTime) {
  REQUIRE_SIGNED_FILES(files);
  SignatureDesk desk;
  desk.TrustRoot(files);
  const int32_t key = AddFileSignature(desk.System(), desk.Database(), desk.Place(files.stamped, "app.exe"));
  ASSERT_GT(key, 0);
  const auto signer = desk.Read(key);
  EXPECT_EQ(signer.name, u"Vyrelle Software Ltd");
  EXPECT_EQ(signer.email, u"builds@vyrelle.example");
  EXPECT_EQ(signer.valid, u"Y");
  EXPECT_TRUE(std::regex_match(Platform::Utf16ToUtf8(signer.time), kTimeText)) << Platform::Utf16ToUtf8(signer.time);
  ASSERT_GT(signer.counter, 0);
  const auto authority = desk.Read(signer.counter);
  EXPECT_EQ(authority.name, u"Brumevale Test Time Stamping");
  EXPECT_EQ(authority.email, u"");
  EXPECT_EQ(authority.time, signer.time);
  EXPECT_EQ(authority.valid, u"Y");
  EXPECT_EQ(authority.counter, 0);
}

TEST(AddFileSignatureTest, ExpiredAndDistrustedSignersAreStoredAsInvalid) {
  REQUIRE_SIGNED_FILES(files);
  SignatureDesk desk;
  desk.TrustRoot(files);
  const auto plain = desk.Place(files.plain, "plain.exe");
  desk.Machine().Time().Advance(std::chrono::hours(24 * 3));
  SignatureVerifier verifier(desk.System());
  EXPECT_EQ(verifier.VerifyFileSignature(plain, nullptr, nullptr), kSignatureExpired);
  const auto expired = desk.Read(AddFileSignature(desk.System(), desk.Database(), plain));
  EXPECT_EQ(expired.name, u"Vyrelle Software Ltd");
  EXPECT_EQ(expired.valid, u"N");
  EXPECT_EQ(expired.counter, 0);

  SigningKit::AddToStore(desk.System(), u"Disallowed", files.signer.certificate.get());
  const auto image = desk.Place(files.stamped, "app.exe");
  EXPECT_EQ(verifier.VerifyFileSignature(image, nullptr, nullptr), kSignatureDistrusted);
  EXPECT_EQ(desk.Read(AddFileSignature(desk.System(), desk.Database(), image)).valid, u"N");
}

TEST(AddFileSignatureTest, FailedChecksLeaveNoRowAndKeepTheStatus) {
  REQUIRE_SIGNED_FILES(files);
  SignatureDesk desk;
  auto bytes = SigningKit::ReadHostFile(files.stamped);
  bytes[0x400] ^= 0x20;
  SigningKit::WriteHostFile(std::filesystem::path(files.folder.Path()) / "tampered.exe", bytes);
  const auto tampered = desk.Place((files.folder.Path() / "tampered.exe").string(), "tampered.exe");
  const auto untrusted = desk.Place(files.stamped, "app.exe");
  SignatureVerifier verifier(desk.System());
  EXPECT_EQ(verifier.VerifyFileSignature(tampered, nullptr, nullptr), kSignatureCheckFailed);
  EXPECT_EQ(verifier.LastTrustError(), Platform::kTrustEBadDigest);
  EXPECT_EQ(verifier.VerifyFileSignature(untrusted, nullptr, nullptr), kSignatureCheckFailed);
  EXPECT_EQ(verifier.LastTrustError(), Platform::kCertEUntrustedRoot);
  EXPECT_EQ(AddFileSignature(desk.System(), desk.Database(), tampered), 0);
  EXPECT_EQ(AddFileSignature(desk.System(), desk.Database(), untrusted), 0);
  EXPECT_EQ(desk.RowCount(), 0);
}

// An unsigned image is looked up in the catalogs: a Windows 10 machine by its SHA-256
// hash, a Windows 7 machine by its SHA-1 hash.
TEST(AddFileSignatureTest, UnsignedImageIsJudgedByTheCatalogThatListsIt) {
  REQUIRE_SIGNED_FILES(files);
  Emulated::MachineConfig windows7;
  windows7.version.majorVersion = 6;
  windows7.version.minorVersion = 1;
  for (const auto& [config, generation] : {std::pair{Emulated::MachineConfig{}, 2}, std::pair{windows7, 1}}) {
    SignatureDesk desk(config);
    desk.TrustRoot(files);
    const auto image = desk.Place(files.image, "zlib1.dll");
    EXPECT_EQ(AddFileSignature(desk.System(), desk.Database(), image), 0);  // in no catalog yet
    EXPECT_EQ(desk.RowCount(), 0);
    desk.AddCatalog({desk.CatalogHash(image, generation)}, generation == 2, files);
    const auto row = desk.Read(AddFileSignature(desk.System(), desk.Database(), image));
    EXPECT_EQ(row.name, u"Vyrelle Software Ltd") << "generation " << generation;
    EXPECT_EQ(row.valid, u"Y");
    EXPECT_TRUE(std::regex_match(Platform::Utf16ToUtf8(row.time), kTimeText));
  }
}

TEST(AddFileSignatureTest, CatalogSignerRevokedByItsIssuersCrl) {
  REQUIRE_SIGNED_FILES(files);
  SignatureDesk desk;
  desk.TrustRoot(files);
  const auto image = desk.Place(files.image, "zlib1.dll");
  desk.AddCatalog({desk.CatalogHash(image, 2)}, true, files);
  SigningKit::AddCrl(desk.System(), files.intermediate, {3});  // the signer's serial
  SignatureVerifier verifier(desk.System());
  EXPECT_EQ(verifier.VerifyFileSignature(image, nullptr, nullptr), kSignatureRevoked);
  EXPECT_EQ(desk.Read(AddFileSignature(desk.System(), desk.Database(), image)).valid, u"N");
}

// Without a catalog context a file without an embedded signature cannot be looked up:
// a row with empty fields and 'N'. The same for a file that cannot be opened. Without
// the trust library the catalogs are never consulted.
TEST(AddFileSignatureTest, CatalogCheckThatCannotRunStoresAnEmptyInvalidRow) {
  REQUIRE_SIGNED_FILES(files);
  Emulated::MachineConfig noContext;
  noContext.trust.catalogContextAvailable = false;
  SignatureDesk desk(noContext);
  const auto image = desk.Place(files.image, "zlib1.dll");
  SignatureVerifier verifier(desk.System());
  EXPECT_EQ(verifier.VerifyFileSignature(image, nullptr, nullptr), kSignatureCatalogImpossible);
  const auto empty = desk.Read(AddFileSignature(desk.System(), desk.Database(), image));
  EXPECT_EQ(empty.name, u"");
  EXPECT_EQ(empty.time, u"");
  EXPECT_EQ(empty.valid, u"N");

  SignatureDesk healthy;
  EXPECT_EQ(healthy.Read(AddFileSignature(healthy.System(), healthy.Database(), u"C:\\gone.exe")).valid, u"N");
  EXPECT_EQ(AddFileSignature(healthy.System(), healthy.Database(), u""), 0);  // no known image

  Emulated::MachineConfig noLibrary;
  noLibrary.trust.libraryAvailable = false;
  SignatureDesk bare(noLibrary);
  EXPECT_EQ(AddFileSignature(bare.System(), bare.Database(), bare.Place(files.image, "zlib1.dll")), 0);
  EXPECT_EQ(AddFileSignature(bare.System(), bare.Database(), u"C:\\gone.exe"), 0);
  EXPECT_EQ(bare.RowCount(), 0);
}

// One verifier asked twice keeps its catalog administrator context for the second.
TEST(AddFileSignatureTest, VerifierUsedTwiceSearchesTheCatalogsBothTimes) {
  REQUIRE_SIGNED_FILES(files);
  SignatureDesk desk;
  desk.TrustRoot(files);
  const auto first = desk.Place(files.image, "zlib1.dll");
  SigningKit::WriteHostFile(desk.HostFolder() + "/readme.txt", {'d', 'o', 'c'});
  desk.AddCatalog({desk.CatalogHash(first, 2), desk.CatalogHash(u"C:\\readme.txt", 2)}, true, files);
  SignatureVerifier verifier(desk.System());
  EXPECT_EQ(verifier.VerifyFileSignature(first, nullptr, nullptr), kSignatureTrusted);
  EXPECT_EQ(verifier.VerifyFileSignature(u"C:\\readme.txt", nullptr, nullptr), kSignatureTrusted);
}

// A program holding a file open without sharing reads shuts the trust provider and
// the version reader out, as on Windows: code 7 and no version strings, while size
// and times still come from the directory. Sharing reads, or the holder's exit,
// lets them in again.
TEST(AddFileSignatureTest, FileHeldWithoutReadSharingCannotBeChecked) {
  REQUIRE_SIGNED_FILES(files);
  SignatureDesk desk;
  desk.TrustRoot(files);
  const auto image = desk.Place(files.stamped, "app.dll");
  const auto check = [&](FileInformation* record) {
    EXPECT_TRUE(LoadFileInformation(desk.System(), *record, image));
    return SignatureVerifier(desk.System()).VerifyFileSignature(image, nullptr, nullptr);
  };
  const auto holder = [&](uint32_t share) {
    Emulated::ProcessLaunch launch{{4, 0}, u"C:\\Windows\\holder.exe", u"S-1-5-18"};
    const uint32_t pid = Emulated::StartProcess(desk.Machine(), launch);
    EXPECT_EQ(Emulated::HoldFile(desk.Machine(), {pid, 0}, image, share), Platform::kErrorSuccess);
    return pid;
  };
  const uint32_t exclusive = holder(0);
  FileInformation held;
  EXPECT_EQ(check(&held), kSignatureCatalogImpossible);
  EXPECT_EQ(held.versionInformation, 0u);
  EXPECT_EQ(held.VersionString(0), u"");
  EXPECT_GT(held.FileSize(), 0u);
  ASSERT_TRUE(Emulated::ExitProcess(desk.Machine(), exclusive));

  holder(Platform::kFileShareRead);
  FileInformation shared;
  EXPECT_EQ(check(&shared), kSignatureTrusted);
  EXPECT_EQ(shared.versionInformation, 1u);
  EXPECT_NE(shared.VersionString(0), u"");
}

TEST(GetCertificateNameTest, PicksTheAskedNameAndLeavesOutputAloneWhenEmpty) {
  Platform::CertificateNames names{u"Signer", u"", u"Issuer", 0, 0};
  std::u16string out = u"unset";
  EXPECT_TRUE(GetCertificateName(names, CertificateNameType::kSimpleDisplay, true, &out));
  EXPECT_EQ(out, u"Issuer");
  EXPECT_FALSE(GetCertificateName(names, CertificateNameType::kEmail, false, &out));
  EXPECT_FALSE(GetCertificateName(names, CertificateNameType::kEmail, true, &out));
  EXPECT_EQ(out, u"Issuer");
}

}  // namespace

}  // namespace FileInfo
