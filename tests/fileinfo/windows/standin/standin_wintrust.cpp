// A stand-in for the trust library, for tests only: put beside a test program with a
// native DLL override (WINEDLLOVERRIDES=wintrust=n), it plays the catalog half of
// Windows 10's wintrust, which Wine 8's own does not have: the second-generation
// functions (CryptCATAdminAcquireContext2, CryptCATAdminCalcHashFromFileHandle2) and
// the rule that matters for SHA-256 catalogs: WinVerifyTrust finds a member only by
// the hash handed to it in WINTRUST_CATALOG_INFO (pbCalculatedFileHash, with the
// hCatAdmin it was calculated with); without them it hashes the member with SHA-1,
// as Windows does, and a SHA-256 catalog does not list that.
//
// Catalogs: every "*.cat" in the folder named by BRUMEVALE_STANDIN_CATALOGS, a text
// file with one member tag (the hash in upper-case hexadecimal) a line; the signer
// of "name.cat" is the DER certificate "name.cer" beside it. Member hashes are taken
// over the whole file. Embedded signatures are not played: every file subject is
// answered TRUST_E_NOSIGNATURE.
#include <windows.h>
// wincrypt.h and wintrust.h before the catalog header that uses them.
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>
#include <bcrypt.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

namespace {

struct AdminContext {
  const wchar_t* algorithm;  // BCRYPT_SHA1_ALGORITHM or BCRYPT_SHA256_ALGORITHM
};

struct CatalogContext {
  std::wstring path;
};

// What WTHelperProvDataFromStateData and its friends hand out for one verified state.
struct VerifiedState {
  CRYPT_PROVIDER_DATA data{};
  CRYPT_PROVIDER_SGNR signer{};
  CRYPT_PROVIDER_CERT certificate{};
};

std::wstring CatalogFolder() {
  wchar_t folder[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"BRUMEVALE_STANDIN_CATALOGS", folder, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

std::vector<BYTE> HashFile(HANDLE file, const wchar_t* algorithm) {
  std::vector<BYTE> hash;
  BCRYPT_ALG_HANDLE provider = nullptr;
  BCRYPT_HASH_HANDLE state = nullptr;
  DWORD size = 0, ignored = 0;
  if (BCryptOpenAlgorithmProvider(&provider, algorithm, nullptr, 0) != 0) return hash;
  BCryptGetProperty(provider, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&size), sizeof size, &ignored, 0);
  if (BCryptCreateHash(provider, &state, nullptr, 0, nullptr, 0, 0) == 0) {
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    BYTE buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) BCryptHashData(state, buffer, read, 0);
    hash.resize(size);
    if (BCryptFinishHash(state, hash.data(), size, 0) != 0) hash.clear();
    BCryptDestroyHash(state);
  }
  BCryptCloseAlgorithmProvider(provider, 0);
  return hash;
}

std::vector<BYTE> HashPath(const wchar_t* path, const wchar_t* algorithm) {
  const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::vector<BYTE> hash = HashFile(file, algorithm);
  CloseHandle(file);
  return hash;
}

std::wstring TagOf(const BYTE* hash, DWORD size) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring tag;
  for (DWORD i = 0; i < size; ++i) {
    tag += kDigits[hash[i] >> 4];
    tag += kDigits[hash[i] & 15];
  }
  return tag;
}

std::vector<char> ReadAll(const std::wstring& path) {
  std::vector<char> bytes;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.insert(bytes.end(), buffer, buffer + read);
  CloseHandle(file);
  return bytes;
}

bool CatalogLists(const std::wstring& catalog, const std::wstring& tag) {
  const std::vector<char> text = ReadAll(catalog);
  std::wstring line;
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '\n';
    if (c == '\n' || c == '\r') {
      if (!line.empty() && line == tag) return true;
      line.clear();
    } else {
      line += static_cast<wchar_t>(std::towupper(static_cast<unsigned char>(c)));
    }
  }
  return false;
}

// The hash the provider matches the member by: the one handed to it, or its own
// SHA-1 of the member when no administrator context came with the subject.
std::wstring MemberTagFor(const WINTRUST_CATALOG_INFO& info) {
  if (info.hCatAdmin != nullptr && info.pbCalculatedFileHash != nullptr && info.cbCalculatedFileHash != 0)
    return TagOf(info.pbCalculatedFileHash, info.cbCalculatedFileHash);
  const std::vector<BYTE> sha1 = HashPath(info.pcwszMemberFilePath, BCRYPT_SHA1_ALGORITHM);
  return TagOf(sha1.data(), static_cast<DWORD>(sha1.size()));
}

VerifiedState* StateFor(const std::wstring& catalog) {
  const std::wstring certificatePath = catalog.substr(0, catalog.size() - 4) + L".cer";
  const std::vector<char> der = ReadAll(certificatePath);
  auto* state = new VerifiedState;
  state->data.cbStruct = sizeof state->data;
  state->data.csSigners = 1;
  state->data.pasSigners = &state->signer;
  state->signer.cbStruct = sizeof state->signer;
  GetSystemTimeAsFileTime(&state->signer.sftVerifyAsOf);
  if (!der.empty()) {
    state->certificate.cbStruct = sizeof state->certificate;
    state->certificate.pCert = CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
    state->signer.csCertChain = state->certificate.pCert != nullptr ? 1 : 0;
    state->signer.pasCertChain = &state->certificate;
  }
  return state;
}

LONG VerifyCatalogSubject(WINTRUST_DATA& data) {
  const WINTRUST_CATALOG_INFO& info = *data.pCatalog;
  if (info.pcwszCatalogFilePath == nullptr || info.pcwszMemberTag == nullptr) return E_INVALIDARG;
  const std::wstring tag = MemberTagFor(info);
  if (tag.empty() || tag != info.pcwszMemberTag || !CatalogLists(info.pcwszCatalogFilePath, tag))
    return TRUST_E_NOSIGNATURE;
  if (data.dwStateAction == WTD_STATEACTION_VERIFY) data.hWVTStateData = StateFor(info.pcwszCatalogFilePath);
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

__declspec(dllexport) LONG WINAPI WinVerifyTrust(HWND, GUID*, LPVOID subject) {
  auto* data = static_cast<WINTRUST_DATA*>(subject);
  if (data == nullptr) return E_INVALIDARG;
  if (data->dwStateAction == WTD_STATEACTION_CLOSE) {
    auto* state = static_cast<VerifiedState*>(data->hWVTStateData);
    if (state != nullptr && state->certificate.pCert != nullptr) CertFreeCertificateContext(state->certificate.pCert);
    delete state;
    data->hWVTStateData = nullptr;
    return ERROR_SUCCESS;
  }
  if (data->dwUnionChoice == WTD_CHOICE_CATALOG && data->pCatalog != nullptr) return VerifyCatalogSubject(*data);
  return TRUST_E_NOSIGNATURE;
}

__declspec(dllexport) CRYPT_PROVIDER_DATA* WINAPI WTHelperProvDataFromStateData(HANDLE state) {
  return state != nullptr ? &static_cast<VerifiedState*>(state)->data : nullptr;
}

__declspec(dllexport) CRYPT_PROVIDER_SGNR* WINAPI WTHelperGetProvSignerFromChain(CRYPT_PROVIDER_DATA* data,
                                                                               DWORD index, WINBOOL counter,
                                                                               DWORD) {
  if (data == nullptr || counter || index >= data->csSigners) return nullptr;
  return &data->pasSigners[index];
}

__declspec(dllexport) CRYPT_PROVIDER_CERT* WINAPI WTHelperGetProvCertFromChain(CRYPT_PROVIDER_SGNR* signer,
                                                                             DWORD index) {
  return signer != nullptr && index < signer->csCertChain ? &signer->pasCertChain[index] : nullptr;
}

__declspec(dllexport) WINBOOL WINAPI CryptCATAdminAcquireContext(HCATADMIN* context, const GUID*, DWORD) {
  if (context == nullptr) return FALSE;
  *context = new AdminContext{BCRYPT_SHA1_ALGORITHM};
  return TRUE;
}

__declspec(dllexport) WINBOOL WINAPI CryptCATAdminAcquireContext2(HCATADMIN* context, const GUID*,
                                                                 const WCHAR* algorithm,
                                                                 const CERT_STRONG_SIGN_PARA*, DWORD) {
  if (context == nullptr) return FALSE;
  const bool sha256 = algorithm != nullptr && lstrcmpiW(algorithm, BCRYPT_SHA256_ALGORITHM) == 0;
  *context = new AdminContext{sha256 ? BCRYPT_SHA256_ALGORITHM : BCRYPT_SHA1_ALGORITHM};
  return TRUE;
}

__declspec(dllexport) WINBOOL WINAPI CryptCATAdminReleaseContext(HCATADMIN context, DWORD) {
  delete static_cast<AdminContext*>(context);
  return TRUE;
}

}  // extern "C"

namespace {

WINBOOL CalculateHash(HANDLE file, const wchar_t* algorithm, DWORD* size, BYTE* hash) {
  if (file == nullptr || file == INVALID_HANDLE_VALUE || size == nullptr) return FALSE;
  const std::vector<BYTE> computed = HashFile(file, algorithm);
  if (computed.empty()) return FALSE;
  const DWORD capacity = *size;
  *size = static_cast<DWORD>(computed.size());
  if (hash == nullptr) return TRUE;
  if (capacity < computed.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::copy(computed.begin(), computed.end(), hash);
  return TRUE;
}

}  // namespace

extern "C" {

__declspec(dllexport) WINBOOL WINAPI CryptCATAdminCalcHashFromFileHandle(HANDLE file, DWORD* size, BYTE* hash,
                                                                        DWORD) {
  return CalculateHash(file, BCRYPT_SHA1_ALGORITHM, size, hash);
}

__declspec(dllexport) WINBOOL WINAPI CryptCATAdminCalcHashFromFileHandle2(HCATADMIN context, HANDLE file,
                                                                         DWORD* size, BYTE* hash, DWORD) {
  if (context == nullptr) return FALSE;
  return CalculateHash(file, static_cast<AdminContext*>(context)->algorithm, size, hash);
}

__declspec(dllexport) HCATINFO WINAPI CryptCATAdminEnumCatalogFromHash(HCATADMIN context, BYTE* hash, DWORD size,
                                                                      DWORD, HCATINFO* previous) {
  if (context == nullptr || hash == nullptr || previous != nullptr) return nullptr;
  const std::wstring folder = CatalogFolder();
  const std::wstring tag = TagOf(hash, size);
  WIN32_FIND_DATAW found{};
  const HANDLE find = FindFirstFileW((folder + L"\\*.cat").c_str(), &found);
  if (folder.empty() || find == INVALID_HANDLE_VALUE) return nullptr;
  CatalogContext* catalog = nullptr;
  do {
    const std::wstring path = folder + L"\\" + found.cFileName;
    if (CatalogLists(path, tag)) catalog = new CatalogContext{path};
  } while (catalog == nullptr && FindNextFileW(find, &found));
  FindClose(find);
  return catalog;
}

__declspec(dllexport) WINBOOL WINAPI CryptCATCatalogInfoFromContext(HCATINFO catalog, CATALOG_INFO* info, DWORD) {
  if (catalog == nullptr || info == nullptr) return FALSE;
  lstrcpynW(info->wszCatalogFile, static_cast<CatalogContext*>(catalog)->path.c_str(), MAX_PATH);
  return TRUE;
}

__declspec(dllexport) WINBOOL WINAPI CryptCATAdminReleaseCatalogContext(HCATADMIN, HCATINFO catalog, DWORD) {
  delete static_cast<CatalogContext*>(catalog);
  return TRUE;
}

// Exported so that the first-generation set is complete; the tests never install
// or remove catalogs through them.
__declspec(dllexport) HCATINFO WINAPI CryptCATAdminAddCatalog(HCATADMIN, PWSTR, PWSTR, DWORD) { return nullptr; }

__declspec(dllexport) WINBOOL WINAPI CryptCATAdminRemoveCatalog(HCATADMIN, LPCWSTR, DWORD) { return FALSE; }

}  // extern "C"
