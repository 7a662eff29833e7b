#include "platform/emulated/authenticode/trust_view.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/emulated/files/file_store.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/authenticode/signature_judge.h"
#include "platform/emulated/authenticode/signed_message.h"

namespace Emulated {
namespace {

using Platform::Handle;

// The one trust library and the contexts are stateless here: a handle names what it
// stands for, so views need no table and a stale release is harmless.
constexpr Handle kTrustLibrary = 0x7E570000;
constexpr Handle kCatalogContextBase = 0x7E571000;

constexpr std::u16string_view kCatalogFolder =
    u"C:\\Windows\\System32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";

// The second-generation catalog functions arrived with Windows 8 (6.2).
bool HasSecondGeneration(const Platform::OsVersionInfo& version) {
  return version.majorVersion > 6 || (version.majorVersion == 6 && version.minorVersion >= 2);
}

int GenerationOf(Handle context) { return static_cast<int>(context - kCatalogContextBase); }

}  // namespace

// The provider opens what it reads for reading, sharing reads only: a file that
// another process holds open without sharing reads cannot be read, and then, as far
// as the provider can tell, holds no signature.
std::optional<std::vector<uint8_t>> TrustView::ReadWholeFile(std::u16string_view path) {
  if (machine_.FileState().CheckReadSharing(path) != Platform::kErrorSuccess) return std::nullopt;
  const std::optional<std::string> host = machine_.FileState().HostPath(path);
  std::error_code error;
  if (!host || !std::filesystem::is_regular_file(*host, error)) return std::nullopt;
  const uintmax_t size = std::filesystem::file_size(*host, error);
  std::ifstream in(*host, std::ios::binary);
  if (error || !in) return std::nullopt;
  // One read of the whole file: the provider hashes every byte of a program, and a
  // character-at-a-time copy cost several times the hashing itself.
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

// A file that cannot be read has, as far as the provider can tell, no signature.
Platform::TrustVerdict TrustView::VerifyEmbedded(std::u16string_view path) {
  const auto image = ReadWholeFile(path);
  if (!image) return {};
  return JudgeEmbeddedSignature(*image, CertificateStores::Load(registry_), machine_.Time().NowUtc());
}

Handle TrustView::LoadTrustLibrary() { return machine_.Config().trust.libraryAvailable ? kTrustLibrary : 0; }

void TrustView::FreeTrustLibrary(Handle) {}

bool TrustView::HasTrustFunction(Handle library, std::string_view name) {
  if (library != kTrustLibrary) return false;
  const auto exports = [name](const auto& names) { return std::find(names.begin(), names.end(), name) != names.end(); };
  if (exports(Platform::kFirstGenerationCatalogFunctions)) return true;
  return HasSecondGeneration(machine_.Config().version) && exports(Platform::kSecondGenerationCatalogFunctions);
}

Handle TrustView::AcquireCatalogContext(int generation) {
  if (!machine_.Config().trust.libraryAvailable || !machine_.Config().trust.catalogContextAvailable) return 0;
  if (generation == 2 && !HasSecondGeneration(machine_.Config().version)) return 0;
  return generation == 1 || generation == 2 ? kCatalogContextBase + generation : 0;
}

void TrustView::ReleaseCatalogContext(Handle) {}

// Generation 1 hashes with SHA-1 whatever the context; generation 2 with the
// context's algorithm, SHA-256.
Platform::Win32Error TrustView::CalculateCatalogHash(Handle context, std::u16string_view path, int generation,
                                                     std::vector<uint8_t>* hash) {
  if (generation == 2 && GenerationOf(context) != 2) return Platform::kErrorInvalidParameter;
  const auto file = ReadWholeFile(path);
  if (!file) return Platform::kErrorFileNotFound;
  *hash = CatalogHashOf(*file, generation == 2 ? EVP_sha256() : EVP_sha1());
  return Platform::kErrorSuccess;
}

// Only the catalogs the catalog database holds are searched, in name order; the first
// whose list holds the hash wins.
std::optional<std::u16string> TrustView::FindCatalogForHash(Handle context, std::span<const uint8_t> hash) {
  const int generation = GenerationOf(context);
  if (generation != 1 && generation != 2) return std::nullopt;
  std::vector<std::u16string> names = machine_.Config().trust.registeredCatalogs;
  std::sort(names.begin(), names.end());
  const std::u16string tag = MemberTagOf(hash);
  for (const std::u16string& name : names) {
    const std::u16string path = std::u16string(kCatalogFolder) + u"\\" + name;
    const auto bytes = ReadWholeFile(path);
    const auto message = bytes ? ReadSignedMessage(*bytes) : std::nullopt;
    const auto members = message ? ReadCatalogMembers(*message) : std::nullopt;
    for (const CatalogMember& member : members.value_or(std::vector<CatalogMember>{}))
      if (ListsMember(member, tag)) return path;
  }
  return std::nullopt;
}

Platform::TrustVerdict TrustView::VerifyCatalogMember(std::u16string_view catalogPath, std::u16string_view memberTag,
                                                      std::u16string_view memberPath) {
  const auto catalog = ReadWholeFile(catalogPath);
  const auto member = ReadWholeFile(memberPath);
  if (!catalog || !member) return {};
  return JudgeCatalogMember(*catalog, memberTag, *member, CertificateStores::Load(registry_),
                            machine_.Time().NowUtc(), machine_.Config().trust.vendorRoots);
}

}  // namespace Emulated
