// Owners and DACLs of files: GetNamedSecurityInfoW and SetNamedSecurityInfoW.
#include <vector>

#include "platform/win32/file_system_win32.h"
#include "platform/win32/win32_text.h"

namespace Win32 {
namespace {

using Platform::AccessEntry;
using Platform::FileSecurity;
using Platform::Win32Error;

// A block the system allocated with LocalAlloc, freed when the routine leaves.
template <typename T>
struct LocalBlock {
  T value = nullptr;
  LocalBlock() = default;
  LocalBlock(LocalBlock&& other) noexcept : value(other.value) { other.value = nullptr; }
  LocalBlock(const LocalBlock&) = delete;
  LocalBlock& operator=(const LocalBlock&) = delete;
  ~LocalBlock() {
    if (value) LocalFree(value);
  }
};

std::u16string SidText(PSID sid) {
  LocalBlock<LPWSTR> text;
  if (sid == nullptr || !ConvertSidToStringSidW(sid, &text.value)) return u"";
  return FromWide(text.value);
}

// Allowed and denied entries share one layout; other types say only their type.
std::vector<AccessEntry> EntriesOf(PACL dacl) {
  if (dacl == nullptr) {
    return {{Platform::kAccessAllowedAceType, 0, Platform::kFileAllAccess, Platform::kEveryoneSid}};
  }
  std::vector<AccessEntry> entries;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    AccessEntry entry{header->AceType, header->AceFlags, 0, u""};
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      entry.mask = allowed->Mask;
      entry.sid = SidText(&allowed->SidStart);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

// The explicit entries as an ACL in acl (DWORD-aligned, as InitializeAcl needs).
Win32Error BuildAcl(const std::vector<AccessEntry>& entries, std::vector<DWORD>* acl) {
  std::vector<LocalBlock<PSID>> sids;
  sids.reserve(entries.size());
  DWORD size = sizeof(ACL);
  for (const AccessEntry& entry : entries) {
    if (entry.flags & Platform::kInheritedAce) continue;
    if (entry.type != ACCESS_ALLOWED_ACE_TYPE && entry.type != ACCESS_DENIED_ACE_TYPE) return ERROR_INVALID_PARAMETER;
    sids.emplace_back();
    if (!ConvertStringSidToSidW(Wide(entry.sid).c_str(), &sids.back().value)) return LastError();
    size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sids.back().value);
  }
  acl->assign((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
  const auto list = reinterpret_cast<PACL>(acl->data());
  if (!InitializeAcl(list, size, ACL_REVISION)) return LastError();
  size_t next = 0;
  for (const AccessEntry& entry : entries) {
    if (entry.flags & Platform::kInheritedAce) continue;
    const PSID sid = sids[next++].value;
    const BOOL added = entry.type == ACCESS_ALLOWED_ACE_TYPE
                           ? AddAccessAllowedAceEx(list, ACL_REVISION, entry.flags, entry.mask, sid)
                           : AddAccessDeniedAceEx(list, ACL_REVISION, entry.flags, entry.mask, sid);
    if (!added) return LastError();
  }
  return ERROR_SUCCESS;
}

// Giving a file to another owner needs SeRestorePrivilege, taking over one that
// someone else owns SeTakeOwnershipPrivilege; LocalSystem and administrators hold
// both, disabled until asked for. Best effort: without them the set call fails.
void EnableOwnerPrivileges() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  for (const wchar_t* name : {L"SeRestorePrivilege", L"SeTakeOwnershipPrivilege"}) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
  }
  CloseHandle(token);
}

}  // namespace

Win32Error FileSystem::GetFileSecurity(std::u16string_view path, FileSecurity* security) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  LocalBlock<PSECURITY_DESCRIPTOR> descriptor;
  std::wstring name = Wide(path);
  const DWORD result =
      GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &dacl, nullptr, &descriptor.value);
  if (result != ERROR_SUCCESS) return result;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(descriptor.value, &control, &revision)) return LastError();
  if (security != nullptr) *security = {SidText(owner), EntriesOf(dacl), (control & SE_DACL_PROTECTED) != 0};
  return ERROR_SUCCESS;
}

// The owner first: once it is ours to give, the DACL may be written whatever the
// old one allowed. SetNamedSecurityInfoW carries inheritable entries down to the
// folder's children itself.
Win32Error FileSystem::SetFileSecurity(std::u16string_view path, const FileSecurity& security) {
  LocalBlock<PSID> owner;
  if (!ConvertStringSidToSidW(Wide(security.ownerSid).c_str(), &owner.value)) return LastError();
  std::vector<DWORD> acl;
  if (const Win32Error error = BuildAcl(security.dacl, &acl)) return error;
  EnableOwnerPrivileges();
  std::wstring name = Wide(path);
  DWORD result = SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner.value,
                                       nullptr, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return result;
  const SECURITY_INFORMATION which =
      DACL_SECURITY_INFORMATION |
      (security.daclProtected ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
  result = SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, which, nullptr, nullptr,
                                 reinterpret_cast<PACL>(acl.data()), nullptr);
  return result;
}

}  // namespace Win32
