#include "platform/win32/trust_win32.h"

#include "platform/win32/win32_text.h"

namespace Win32 {
namespace {

using Platform::CertificateNames;
using Platform::SignerChain;
using Platform::TrustVerdict;
using Platform::Win32Error;

// The second-generation catalog calls (SHA-256 catalogs) exist from Windows 8 on;
// they are reached by name so that a Windows without them still loads the program.
using AcquireContext2 = BOOL(WINAPI*)(HCATADMIN*, const GUID*, const WCHAR*,
                                      const CERT_STRONG_SIGN_PARA*, DWORD);
using CalcHash2 = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);

template <typename Function>
Function Wintrust(const char* name) {
  const HMODULE module = GetModuleHandleW(L"wintrust.dll");
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                : nullptr;
}

HCATADMIN ToContext(Platform::Handle context) { return reinterpret_cast<HCATADMIN>(context); }

std::u16string NameOf(PCCERT_CONTEXT certificate, DWORD type, DWORD flags) {
  wchar_t buffer[512] = {};
  const DWORD length = CertGetNameStringW(certificate, type, flags, nullptr, buffer, 512);
  return length > 1 ? FromWide(buffer, length - 1) : std::u16string();
}

CertificateNames NamesOf(PCCERT_CONTEXT certificate) {
  return {NameOf(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0),
          NameOf(certificate, CERT_NAME_EMAIL_TYPE, 0),
          NameOf(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG),
          FromFileTime(certificate->pCertInfo->NotBefore),
          FromFileTime(certificate->pCertInfo->NotAfter)};
}

std::optional<CertificateNames> FirstCertificate(const CRYPT_PROVIDER_SGNR* signer) {
  if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr ||
      signer->pasCertChain[0].pCert == nullptr) {
    return std::nullopt;
  }
  return NamesOf(signer->pasCertChain[0].pCert);
}

std::optional<SignerChain> SignerOf(HANDLE state) {
  CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(state);
  if (provider == nullptr) return std::nullopt;
  SignerChain chain;
  CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
  if (signer == nullptr) return chain;
  chain.certificate = FirstCertificate(signer);
  chain.verifyAsOfTime = FromFileTime(signer->sftVerifyAsOf);
  for (DWORD i = 0; i < signer->csCounterSigners; ++i) {
    if (auto names = FirstCertificate(&signer->pasCounterSigners[i])) {
      chain.counterSigners.push_back(std::move(*names));
    }
  }
  return chain;
}

// One WinVerifyTrust with its state kept open for the signer chain, then closed.
TrustVerdict Verify(GUID action, WINTRUST_DATA& data) {
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  TrustVerdict verdict;
  verdict.status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  if (data.hWVTStateData != nullptr) verdict.signer = SignerOf(data.hWVTStateData);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return verdict;
}

}  // namespace

TrustVerdict Trust::VerifyEmbedded(std::u16string_view path) {
  const std::wstring file = Wide(path);
  WINTRUST_FILE_INFO info{};
  info.cbStruct = sizeof info;
  info.pcwszFilePath = file.c_str();
  WINTRUST_DATA data{};
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &info;
  return Verify(WINTRUST_ACTION_GENERIC_VERIFY_V2, data);
}

Platform::Handle Trust::LoadTrustLibrary() {
  return reinterpret_cast<Handle>(LoadLibraryW(L"Wintrust.dll"));
}

void Trust::FreeTrustLibrary(Handle library) {
  FreeLibrary(reinterpret_cast<HMODULE>(library));
}

bool Trust::HasTrustFunction(Handle library, std::string_view name) {
  return GetProcAddress(reinterpret_cast<HMODULE>(library), std::string(name).c_str()) != nullptr;
}

Platform::Handle Trust::AcquireCatalogContext(int generation) {
  HCATADMIN context = nullptr;
  GUID subsystem = DRIVER_ACTION_VERIFY;
  if (generation == 2) {
    const auto acquire = Wintrust<AcquireContext2>("CryptCATAdminAcquireContext2");
    if (acquire == nullptr || !acquire(&context, &subsystem, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) {
      return 0;
    }
  } else if (!CryptCATAdminAcquireContext(&context, &subsystem, 0)) {
    return 0;
  }
  return reinterpret_cast<Handle>(context);
}

void Trust::ReleaseCatalogContext(Handle context) {
  CryptCATAdminReleaseContext(ToContext(context), 0);
}

// Asked with no buffer first, for the size the hash needs.
Win32Error Trust::CalculateCatalogHash(Handle context, std::u16string_view path, int generation,
                                       std::vector<uint8_t>* hash) {
  const auto calculate2 = Wintrust<CalcHash2>("CryptCATAdminCalcHashFromFileHandle2");
  if (generation == 2 && calculate2 == nullptr) return ERROR_PROC_NOT_FOUND;
  const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  const auto calculate = [&](DWORD* size, BYTE* bytes) -> BOOL {
    return generation == 2 ? calculate2(ToContext(context), file, size, bytes, 0)
                           : CryptCATAdminCalcHashFromFileHandle(file, size, bytes, 0);
  };
  DWORD size = 0;
  calculate(&size, nullptr);
  std::vector<uint8_t> bytes(size);
  const BOOL ok = size != 0 && calculate(&size, bytes.data());
  const Win32Error result = ok ? ERROR_SUCCESS : LastError();
  CloseHandle(file);
  if (!ok) return result != ERROR_SUCCESS ? result : ERROR_INVALID_DATA;
  bytes.resize(size);
  *hash = std::move(bytes);
  return ERROR_SUCCESS;
}

std::optional<std::u16string> Trust::FindCatalogForHash(Handle context,
                                                        std::span<const uint8_t> hash) {
  HCATINFO catalog = CryptCATAdminEnumCatalogFromHash(
      ToContext(context), const_cast<BYTE*>(hash.data()), static_cast<DWORD>(hash.size()), 0,
      nullptr);
  if (catalog == nullptr) return std::nullopt;
  std::optional<std::u16string> found;
  CATALOG_INFO info{};
  info.cbStruct = sizeof info;
  if (CryptCATCatalogInfoFromContext(catalog, &info, 0)) found = FromWide(info.wszCatalogFile);
  CryptCATAdminReleaseCatalogContext(ToContext(context), catalog, 0);
  return found;
}

TrustVerdict Trust::VerifyCatalogMember(std::u16string_view catalogPath,
                                        std::u16string_view memberTag,
                                        std::u16string_view memberPath) {
  return VerifyCatalogMember(0, catalogPath, memberTag, memberPath, {});
}

// Without hCatAdmin and the calculated hash, Windows 8 and later hash the member
// again with SHA-1, which no SHA-256 catalog lists: every catalog-signed program
// would come out unsigned.
TrustVerdict Trust::VerifyCatalogMember(Handle context, std::u16string_view catalogPath,
                                        std::u16string_view memberTag,
                                        std::u16string_view memberPath,
                                        std::span<const uint8_t> memberHash) {
  const std::wstring catalog = Wide(catalogPath), tag = Wide(memberTag), member = Wide(memberPath);
  std::vector<BYTE> hash(memberHash.begin(), memberHash.end());
  WINTRUST_CATALOG_INFO info{};
  info.cbStruct = sizeof info;
  info.pcwszCatalogFilePath = catalog.c_str();
  info.pcwszMemberTag = tag.c_str();
  info.pcwszMemberFilePath = member.c_str();
  info.pbCalculatedFileHash = hash.empty() ? nullptr : hash.data();
  info.cbCalculatedFileHash = static_cast<DWORD>(hash.size());
  info.hCatAdmin = ToContext(context);
  WINTRUST_DATA data{};
  data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
  data.dwUnionChoice = WTD_CHOICE_CATALOG;
  data.pCatalog = &info;
  return Verify(DRIVER_ACTION_VERIFY, data);
}

}  // namespace Win32
