#include "intake/registry_key_path.h"

#include "fileinfo/user_identity.h"
#include "util/text_routines.h"

using FileInfo::IsUserClassesHive;
using FileInfo::IsUserSid;

namespace Intake {

namespace {

constexpr std::u16string_view kNativeUserRoot = u"\\REGISTRY\\USER";
constexpr std::u16string_view kNativeMachineRoot = u"\\REGISTRY\\MACHINE";
constexpr size_t kClassesSuffixLength = 8;  // "_Classes"

}  // namespace

void RegistryKeyPath::Reset(RegistryRootKind root, std::u16string_view sid, uint32_t wildcard) {
  root_ = root;
  sid_ = sid;
  components_.clear();
  wildcard_ = wildcard;
}

bool RegistryKeyPath::ParseNative(std::u16string_view path, uint32_t wildcard) {
  Reset(kRootNone, u"", wildcard);
  size_t position = 0;
  if (VyrUtilities::StartsWith(path, kNativeUserRoot, false)) {
    if (!ParseUserRoot(path, position)) return false;
  } else if (VyrUtilities::StartsWith(path, kNativeMachineRoot, false)) {
    root_ = kRootMachine;
    position = kNativeMachineRoot.size();
  } else {
    return false;
  }
  // position is at the "\" after the root, or at the end of a bare machine root.
  if (position + 1 > path.size()) return false;
  return AddComponents(path.substr(position + 1));
}

// "\REGISTRY\USER\<hive>\...": the hive name decides the root kind. A wildcard
// path may leave the SID empty ("\REGISTRY\USER\\Software\...") to stand for any user.
bool RegistryKeyPath::ParseUserRoot(std::u16string_view path, size_t& position) {
  const size_t sidStart = kNativeUserRoot.size() + 1;
  if (path.size() < sidStart) return false;
  const size_t separator = path.find(u'\\', sidStart);
  if (separator == std::u16string_view::npos) return false;
  sid_ = path.substr(sidStart, separator - sidStart);
  if ((sid_.empty() && wildcard_ != 0) || IsUserSid(sid_)) {
    root_ = kRootUser;
  } else if (IsUserClassesHive(sid_)) {
    root_ = kRootUserClasses;
    sid_.resize(sid_.size() - kClassesSuffixLength);
  } else {
    root_ = kRootOtherUsersKey;
  }
  position = separator;
  return true;
}

bool RegistryKeyPath::AddComponents(std::u16string_view text) {
  size_t start = 0;
  for (size_t separator = text.find(u'\\'); separator != std::u16string_view::npos;
       separator = text.find(u'\\', start)) {
    components_.emplace_back(text.substr(start, separator - start));
    start = separator + 1;
  }
  if (start == text.size()) return false;
  components_.emplace_back(text.substr(start));
  return true;
}

bool RegistryKeyPath::Assign(RegistryRootKind root, std::u16string_view sid,
                             std::u16string_view subKey, uint32_t wildcard) {
  Reset(root, sid, wildcard);
  AddComponents(subKey);
  return true;
}

bool RegistryKeyPath::Assign(RegistryRootKind root, std::u16string_view subKey,
                             uint32_t wildcard) {
  return Assign(root, u"", subKey, wildcard);
}

std::u16string RegistryKeyPath::ToText(bool withRoot) const {
  std::u16string text;
  if (withRoot) {
    switch (root_) {
      case kRootMachine: text = u"HKEY_LOCAL_MACHINE"; break;
      case kRootUser: text = u"HKEY_USERS\\" + sid_; break;
      case kRootUserClasses: text = u"HKEY_USERS\\" + sid_ + u"_Classes"; break;
      default: break;
    }
    text += u'\\';
  }
  for (size_t i = 0; i < components_.size(); ++i) {
    if (i > 0) text += u'\\';
    text += components_[i];
  }
  return text;
}

RegistryKeyPath RegistryKeyPath::Slice(int from, int to) const {
  RegistryKeyPath slice;
  const int count = static_cast<int>(components_.size());
  if (from < 0 || from >= count || (to >= 0 && from > to)) return slice;
  const int end = (to >= 0 && to < count - 1) ? to : count - 1;
  slice.components_.assign(components_.begin() + from, components_.begin() + end + 1);
  return slice;
}

RegistryRootKind RegistryKeyPath::RootKindOfHandle(Platform::Handle predefinedKey) {
  if (predefinedKey == Platform::kHkeyLocalMachine) return kRootMachine;
  if (predefinedKey == Platform::kHkeyUsers) return kRootUser;
  return kRootNone;
}

}  // namespace Intake
