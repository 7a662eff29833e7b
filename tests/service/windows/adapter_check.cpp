// Reads a program's signature and version resource through the Win32 adapters of the
// service, so that the end-to-end run checks them against Wine's real WinVerifyTrust
// and GetFileVersionInfoW; and trusts a test root in the machine's ROOT store.
//   adapter_check add-root CERT.der    put the certificate into LocalMachine\ROOT
//   adapter_check trust PATH           status (hex), signer, signer's issuer, e-mail
//   adapter_check version PATH         the version strings the service records
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
// <windows.h> without the macros that would rename the adapters' methods.
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_system.h"

namespace {

std::u16string U16(const wchar_t* text) { return std::u16string(text, text + std::wcslen(text)); }

void Print(const char* label, std::u16string_view text) {
  std::printf("%s: %s\n", label, Platform::Utf16ToUtf8(text).c_str());
}

int AddRoot(const wchar_t* path) {
  const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::vector<BYTE> der(GetFileSize(file, nullptr));
  DWORD read = 0;
  const BOOL ok = ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &read, nullptr);
  CloseHandle(file);
  if (!ok) return 1;
  const HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                         CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
  if (store == nullptr) return 1;
  const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), read,
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  return added ? 0 : 1;
}

int Trust(Platform::System& system, const wchar_t* path) {
  const Platform::TrustVerdict verdict = system.Trust().VerifyEmbedded(U16(path));
  std::printf("status: %08lx\n", static_cast<unsigned long>(verdict.status));
  if (verdict.signer && verdict.signer->certificate) {
    Print("signer", verdict.signer->certificate->simpleDisplayName);
    Print("issuer", verdict.signer->certificate->issuerSimpleDisplayName);
    Print("email", verdict.signer->certificate->emailName);
  }
  return 0;
}

int Version(Platform::System& system, const wchar_t* path) {
  Platform::VersionInfo& info = system.VersionInfo();
  const uint32_t size = info.GetFileVersionInfoSize(U16(path));
  std::vector<uint8_t> block;
  if (size == 0 || info.GetFileVersionInfo(U16(path), size, &block) != 0) {
    std::printf("no version resource\n");
    return 0;
  }
  for (const char16_t* name : {u"FileVersion", u"CompanyName", u"ProductName", u"FileDescription"}) {
    std::span<const uint8_t> value;
    if (!info.VerQueryValue(block, std::u16string(u"\\StringFileInfo\\040904b0\\") + name, &value)) continue;
    std::u16string text(reinterpret_cast<const char16_t*>(value.data()), value.size() / 2);
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    Print(Platform::Utf16ToUtf8(name).c_str(), text);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Win32::System system;
  if (argc == 3 && std::wcscmp(argv[1], L"add-root") == 0) return AddRoot(argv[2]);
  if (argc == 3 && std::wcscmp(argv[1], L"trust") == 0) return Trust(system, argv[2]);
  if (argc == 3 && std::wcscmp(argv[1], L"version") == 0) return Version(system, argv[2]);
  std::fprintf(stderr, "usage: adapter_check add-root CERT | trust PATH | version PATH\n");
  return 2;
}
