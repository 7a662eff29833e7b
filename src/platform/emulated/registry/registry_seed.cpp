#include "platform/emulated/registry/registry_seed.h"

#include <string>
#include <utility>

namespace Emulated {

using namespace Platform;

namespace {

constexpr std::u16string_view kProfileList =
    u"MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

RegistryEdit Key(std::u16string path) {
  return RegistryEdit{RegistryEdit::Kind::kCreateKey, std::move(path), u"", 0, {}};
}

RegistryEdit Value(std::u16string path, std::u16string name, uint32_t type,
                   std::vector<uint8_t> data) {
  return RegistryEdit{RegistryEdit::Kind::kSetValue, std::move(path), std::move(name), type,
                      std::move(data)};
}

void AddProfile(std::vector<RegistryEdit>* edits, std::u16string_view sid,
                std::u16string_view imagePath) {
  edits->push_back(Value(std::u16string(kProfileList) + u"\\" + std::u16string(sid),
                         u"ProfileImagePath", kRegExpandSz, RegistryStringData(imagePath)));
}

void AddProfileList(std::vector<RegistryEdit>* edits, const MachineConfig& config) {
  const std::u16string list(kProfileList);
  edits->push_back(Value(list, u"Default", kRegExpandSz,
                         RegistryStringData(u"%SystemDrive%\\Users\\Default")));
  edits->push_back(Value(list, u"ProfilesDirectory", kRegExpandSz,
                         RegistryStringData(u"%SystemDrive%\\Users")));
  edits->push_back(
      Value(list, u"ProgramData", kRegExpandSz, RegistryStringData(u"%SystemDrive%\\ProgramData")));
  edits->push_back(
      Value(list, u"Public", kRegExpandSz, RegistryStringData(u"%SystemDrive%\\Users\\Public")));
  AddProfile(edits, u"S-1-5-18", u"%systemroot%\\system32\\config\\systemprofile");
  AddProfile(edits, u"S-1-5-19", u"%systemroot%\\ServiceProfiles\\LocalService");
  AddProfile(edits, u"S-1-5-20", u"%systemroot%\\ServiceProfiles\\NetworkService");
  for (const UserAccount& user : config.users) AddProfile(edits, user.sid, user.profilePath);
}

}  // namespace

std::vector<RegistryEdit> InitialRegistryContent(const MachineConfig& config) {
  std::vector<RegistryEdit> edits;
  edits.push_back(Key(u"MACHINE\\SOFTWARE\\Classes\\Wow6432Node"));
  edits.push_back(Key(u"MACHINE\\SOFTWARE\\Wow6432Node"));
  AddProfileList(&edits, config);
  for (const char16_t* name : {u"Current", u"Default", u"LastKnownGood"}) {
    edits.push_back(Value(u"MACHINE\\SYSTEM\\Select", name, kRegDword, RegistryDwordData(1)));
  }
  edits.push_back(Value(u"MACHINE\\SYSTEM\\Select", u"Failed", kRegDword, RegistryDwordData(0)));
  edits.push_back(Key(u"MACHINE\\SYSTEM\\ControlSet001\\Control"));
  edits.push_back(Key(u"MACHINE\\SYSTEM\\ControlSet001\\Services"));
  for (const char16_t* hive : {u".DEFAULT", u"S-1-5-18", u"S-1-5-19", u"S-1-5-20"}) {
    edits.push_back(Key(u"USER\\" + std::u16string(hive)));
  }
  return edits;
}

}  // namespace Emulated
