#include "fleet/windows/secret_file_win.h"

#include "platform/text_encoding.h"

namespace Fleet {
namespace {

// What lets an account read the file's content, in file and generic rights.
constexpr DWORD kReadRights = FILE_READ_DATA | GENERIC_READ | GENERIC_ALL | MAXIMUM_ALLOWED;

bool IsTrusted(PSID sid) {
  return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

std::string AccountOf(PSID sid) {
  wchar_t name[256], domain[256];
  DWORD nameLength = 256, domainLength = 256;
  SID_NAME_USE use;
  if (LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
    std::wstring full = domainLength ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    return Platform::Utf16ToUtf8(std::u16string(full.begin(), full.end()));
  }
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return "an unknown account";
  std::wstring sidText(text);
  LocalFree(text);
  return Platform::Utf16ToUtf8(std::u16string(sidText.begin(), sidText.end()));
}

}  // namespace

bool ClosedToOthers(const std::string& path, PSID owner, PACL dacl, std::string* why) {
  if (owner == nullptr || !IsTrusted(owner)) {
    // The owner may change the DACL at will, so it counts as a reader.
    *why = path + " is owned by " + (owner ? AccountOf(owner) : "nobody") + ", not SYSTEM or the Administrators";
    return false;
  }
  if (dacl == nullptr) return *why = path + " can be read by everyone (it has no access list)", false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) continue;
    const auto* header = static_cast<ACE_HEADER*>(entry);
    // Deny entries only take away; inherit-only ones do not apply to the file itself.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if ((allowed->Mask & kReadRights) == 0 || IsTrusted(sid)) continue;
    return *why = path + " can be read by " + AccountOf(sid), false;
  }
  return true;
}

bool OnlyAdministratorsCanRead(const std::string& path, std::string* why) {
  const std::u16string wide = Platform::Utf8ToUtf16(path);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status = GetNamedSecurityInfoW(reinterpret_cast<const wchar_t*>(wide.c_str()), SE_FILE_OBJECT,
                                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                             nullptr, &dacl, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) {
    *why = "cannot read the access rights of " + path + " (error " + std::to_string(status) + ")";
    return false;
  }
  const bool closed = ClosedToOthers(path, owner, dacl, why);
  LocalFree(descriptor);
  return closed;
}

std::string SecretFileRefusal(const std::string& why) {
  return why + "; only SYSTEM and the Administrators may read it";
}

}  // namespace Fleet
