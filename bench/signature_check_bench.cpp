// The signature check of a signed 4 MB image (embedded Authenticode, SHA-256, RFC 3161
// time stamp, chain to a root in the machine's store) and its rows, against the floor
// any check must pay: reading the file once and hashing it with SHA-256.
//
// Needs osslsigncode and the real PE that scripts/fetch_signed_pe.sh fetches; the
// program says so and exits when either is missing.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "database/load_point_database.h"
#include "fileinfo/signature_verifier.h"
#include "support/signing_kit.h"
#include "support/temporary_machine.h"
#include "support/time_stamp_server.h"
#include "util/brumevale_settings.h"

using Database::LoadPointDatabase;
using FileInfo::AddFileSignature;
using FileInfo::SignatureVerifier;
using FileInfo::SignerRecord;
using enum FileInfo::SignatureCode;

namespace {

constexpr char kImageName[] = "big.exe";

struct Fixture {
  Fixture() : settings(machine.Service()) {
    settings.InitialiseProduct();
    database = std::make_unique<LoadPointDatabase>(machine.Service(), settings, u"");
    database->OpenDatabase(settings.DataDirectory() + u"\\Brumevale.data", false);
    ready = MakeSignedImage();
  }

  // zlib1.dll grown to 4 MB by data after its last section, then signed and stamped.
  bool MakeSignedImage() {
    const std::string source = std::string(BRUMEVALE_SIGNED_PE_DIR) + "/root/usr/x86_64-w64-mingw32/lib/zlib1.dll";
    auto bytes = SigningKit::ReadHostFile(source);
    if (bytes.empty()) return false;
    for (size_t i = bytes.size(); i < (4u << 20) - 4096; ++i) bytes.push_back(static_cast<uint8_t>(i * 131));
    const auto at = keys.Path();
    SigningKit::WriteHostFile(at / "unsigned.exe", bytes);
    root = SigningKit::Issue({.commonName = "Bench Root", .authority = true}, nullptr, at);
    signer = SigningKit::Issue({.commonName = "Bench Signer", .usages = "codeSigning", .serial = 2}, &root, at);
    auto authority = SigningKit::Issue({.commonName = "Bench Stamps", .usages = "critical,timeStamping", .serial = 3},
                                       &root, at);
    TimeStampServer server(at, authority.certificatePem, authority.keyPem, authority.certificatePem);
    const bool signedOk = SigningKit::SignImage((at / "unsigned.exe").string(), machine.HostFolder() + "/" + kImageName,
                                                signer.certificatePem, signer.keyPem, "sha256", server.Url());
    SigningKit::AddToStore(machine.Service(), u"ROOT", root.certificate.get());
    return signedOk;
  }

  TemporaryFolder keys;
  TemporaryMachine machine;
  VyrUtilities::BrumevaleSettings settings;
  std::unique_ptr<LoadPointDatabase> database;
  SigningKit::Identity root, signer;
  bool ready = false;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_BaselineReadAndSha256(benchmark::State& state) {
  Fixture& fixture = Shared();
  if (!fixture.ready) return state.SkipWithError("no signed image: run scripts/fetch_signed_pe.sh, install osslsigncode");
  const std::string host = fixture.machine.HostFolder() + "/" + kImageName;
  for (auto _ : state) {
    const auto bytes = SigningKit::ReadHostFile(host);
    unsigned char digest[32];
    EVP_Digest(bytes.data(), bytes.size(), digest, nullptr, EVP_sha256(), nullptr);
    benchmark::DoNotOptimize(digest);
  }
}
BENCHMARK(BM_BaselineReadAndSha256)->Unit(benchmark::kMillisecond);

void BM_VerifyFileSignatureSigned4MB(benchmark::State& state) {
  Fixture& fixture = Shared();
  if (!fixture.ready) return state.SkipWithError("no signed image");
  for (auto _ : state) {
    SignatureVerifier verifier(fixture.machine.Service());
    SignerRecord signer;
    std::vector<SignerRecord> counterSigners;
    if (verifier.VerifyFileSignature(u"C:\\big.exe", &signer, &counterSigners) != kSignatureTrusted)
      return state.SkipWithError("the signed image did not verify");
  }
}
BENCHMARK(BM_VerifyFileSignatureSigned4MB)->Unit(benchmark::kMillisecond);

// With the two DigitalSignatures rows written, as every recorded process pays.
void BM_AddFileSignatureSigned4MB(benchmark::State& state) {
  Fixture& fixture = Shared();
  if (!fixture.ready) return state.SkipWithError("no signed image");
  for (auto _ : state)
    if (AddFileSignature(fixture.machine.Service(), *fixture.database, u"C:\\big.exe") < 1)
      return state.SkipWithError("no signature row");
}
BENCHMARK(BM_AddFileSignatureSigned4MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
