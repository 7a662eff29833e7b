#pragma once
// One set of test certificates and images signed with them, made once per test
// program: a root and an intermediate authority, a code signer, a time-stamp
// authority, signers with the wrong or no extended key usage, and a real Debian PE
// (fetched by scripts/fetch_signed_pe.sh) signed in several ways.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/signing_kit.h"
#include "support/temporary_folder.h"
#include "support/time_stamp_server.h"

struct SignedFiles {
  TemporaryFolder folder;
  SigningKit::Identity root, intermediate, signer, authority, wrongUsage, noUsage;
  std::string image;      // the unsigned original
  std::string stamped;    // SHA-256, chain to root through the intermediate, time-stamped
  std::string plain;      // SHA-1 digest, no time stamp
  std::string wrongUsageImage, noUsageImage;
  std::string failure;    // why the set could not be made

  static std::string Fetched(const std::string& relative) {
    const auto path = std::filesystem::path(BRUMEVALE_SIGNED_PE_DIR) / "root" / relative;
    return std::filesystem::exists(path) ? path.string() : std::string();
  }

  static SignedFiles& Get() {
    static SignedFiles files;
    return files;
  }

 private:
  SignedFiles() {
    image = Fetched("usr/x86_64-w64-mingw32/lib/zlib1.dll");
    if (image.empty()) {
      failure = "zlib1.dll not fetched: run scripts/fetch_signed_pe.sh " BRUMEVALE_SIGNED_PE_DIR
                " (needs the Debian archive)";
      return;
    }
    MakeIdentities();
    if (!SignAll()) failure = "osslsigncode failed: see the logs in " + folder.String();
  }

  void MakeIdentities() {
    using SigningKit::Issue;
    const auto& at = folder.Path();
    root = Issue({.commonName = "Brumevale Test Root", .organization = "Brumevale Tests", .authority = true}, nullptr, at);
    intermediate = Issue({.commonName = "Brumevale Test Code CA", .authority = true, .serial = 2}, &root, at);
    signer = Issue({.commonName = "Vyrelle Software Ltd", .organization = "Vyrelle",
                    .emailAttribute = "subject@vyrelle.example", .alternativeEmail = "builds@vyrelle.example",
                    .notAfterSeconds = 2L * 86400, .usages = "codeSigning", .serial = 3},
                   &intermediate, at);
    authority = Issue({.commonName = "Brumevale Test Time Stamping", .notAfterSeconds = 3650L * 86400,
                       .usages = "critical,timeStamping", .serial = 4},
                      &root, at);
    wrongUsage = Issue({.commonName = "Web Server", .usages = "serverAuth", .serial = 5}, &intermediate, at);
    noUsage = Issue({.organization = "Usage Free Org", .serial = 6}, &intermediate, at);
  }

  bool SignAll() {
    using SigningKit::ChainFile;
    using SigningKit::SignImage;
    const auto& at = folder.Path();
    const std::string chain = ChainFile(at / "signer-chain.pem", {&signer, &intermediate});
    TimeStampServer server(at, authority.certificatePem, authority.keyPem, ChainFile(at / "tsa-chain.pem", {&authority}));
    stamped = (at / "stamped.dll").string();
    plain = (at / "plain.dll").string();
    wrongUsageImage = (at / "wrong-usage.dll").string();
    noUsageImage = (at / "no-usage.dll").string();
    return server.Running() && SignImage(image, stamped, chain, signer.keyPem, "sha256", server.Url()) &&
           SignImage(image, plain, chain, signer.keyPem, "sha1") &&
           SignImage(image, wrongUsageImage, ChainFile(at / "wrong.pem", {&wrongUsage, &intermediate}),
                     wrongUsage.keyPem) &&
           SignImage(image, noUsageImage, ChainFile(at / "none.pem", {&noUsage, &intermediate}), noUsage.keyPem);
  }
};

#define REQUIRE_SIGNED_FILES(files)                       \
  SignedFiles& files = SignedFiles::Get();                \
  if (!files.failure.empty()) GTEST_SKIP() << files.failure
