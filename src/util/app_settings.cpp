#include "util/app_settings.h"

#include "platform/scoped_handle.h"
#include "util/path_routines.h"
#include "util/protected_folder.h"
#include "util/registry_readers.h"
#include "util/registry_text.h"

namespace VyrUtilities {

namespace {

constexpr uint32_t kComputerNameCapacity = 260;
// The program path is read into a buffer of 259 characters and a terminator.
constexpr uint32_t kProgramPathBytes = 518;
constexpr char16_t kProgramPathValue[] = u"ProgramPath";

}  // namespace

VyrAppSettings::VyrAppSettings(Platform::System& system) : system_(system) {
  std::u16string name;
  if (system_.Environment().GetComputerName(kComputerNameCapacity, &name) ==
      Platform::kErrorSuccess) {
    computerName_ = std::move(name);
  }
}

VyrAppSettings::~VyrAppSettings() = default;

void VyrAppSettings::Initialise(std::u16string_view company, std::u16string_view group,
                                std::u16string_view product) {
  company_ = company;
  group_ = group;
  product_ = product;
  // The group comes before the company on disk but after it in the registry path.
  dataDirectory_ = GetSpecialFolder(system_, Platform::kCsidlCommonAppData) + u"\\";
  if (!group_.empty()) dataDirectory_ += group_ + u"\\";
  dataDirectory_ += company_ + u"\\" + product_;
  logDirectory_ = dataDirectory_ + u"\\Logs";
  CreateProductDirectory(dataDirectory_);
  CreateProductDirectory(logDirectory_);
}

// The product's own folders are made with the protected descriptor at once, so that
// a first installation never leaves them open to other users; a folder that exists
// keeps what it has (the service checks it before it opens anything there).
bool VyrAppSettings::CreateProductDirectory(std::u16string_view path) {
  Platform::FileAttributeData attributes;
  const bool existed = system_.Files().GetFileAttributesEx(path, &attributes) == Platform::kErrorSuccess;
  if (!CreateDirectoryTree(path)) return false;
  if (!existed) system_.Files().SetFileSecurity(path, ProtectedFolderSecurity());
  return true;
}

std::u16string VyrAppSettings::RegistryPath() const {
  if (company_.empty() || product_.empty()) return {};
  std::u16string path = u"SOFTWARE\\" + company_ + u"\\";
  if (!group_.empty()) path += group_ + u"\\";
  return path + product_;
}

bool VyrAppSettings::Load(bool currentUser) {
  std::u16string path = RegistryPath();
  if (path.empty()) return false;
  Platform::Registry& registry = system_.Registry();
  Platform::ScopedKey key;
  Platform::Handle root = currentUser ? Platform::kHkeyCurrentUser : Platform::kHkeyLocalMachine;
  if (registry.CreateKey(root, path, Platform::kRegOptionNonVolatile, Platform::kKeyRead,
                         key.Receive(registry), nullptr) != Platform::kErrorSuccess) {
    return false;
  }
  bool result = ReadProgramPath(key.Get()) && LoadCustom(key.Get());
  key.Reset();
  CreateDirectoryTree(dataDirectory_);
  return result;
}

bool VyrAppSettings::Save(bool currentUser) {
  std::u16string path = RegistryPath();
  if (path.empty()) return false;
  Platform::Registry& registry = system_.Registry();
  Platform::ScopedKey key;
  Platform::Handle root = currentUser ? Platform::kHkeyCurrentUser : Platform::kHkeyLocalMachine;
  if (registry.CreateKey(root, path, Platform::kRegOptionNonVolatile, Platform::kKeyAllAccess,
                         key.Receive(registry), nullptr) != Platform::kErrorSuccess) {
    return false;
  }
  bool result = WriteRegistryString(system_, key.Get(), kProgramPathValue, programPath_) &&
                SaveCustom(key.Get());
  key.Reset();
  CreateDirectoryTree(dataDirectory_);
  return result;
}

// A path longer than the buffer is a failed read, and the stored path is kept.
bool VyrAppSettings::ReadProgramPath(Platform::Handle key) {
  uint32_t type = 0;
  uint32_t size = 0;
  std::vector<uint8_t> data;
  if (system_.Registry().QueryValue(key, kProgramPathValue, &type, &data, kProgramPathBytes,
                                    &size) != Platform::kErrorSuccess) {
    return false;
  }
  programPath_ = CountedText(data.data(), data.size());
  return true;
}

bool VyrAppSettings::LoadCustom(Platform::Handle) { return false; }

bool VyrAppSettings::SaveCustom(Platform::Handle) { return false; }

bool VyrAppSettings::CreateDirectoryTree(std::u16string_view path) {
  Platform::FileSystem& files = system_.Files();
  size_t slash = path.find(u'\\');
  if (slash == std::u16string_view::npos) return false;
  for (slash = path.find(u'\\', slash + 1); slash != std::u16string_view::npos;
       slash = path.find(u'\\', slash + 1)) {
    Platform::Win32Error error = files.CreateDirectory(path.substr(0, slash));
    if (error != Platform::kErrorSuccess && error != Platform::kErrorAlreadyExists) return false;
  }
  Platform::Win32Error error = files.CreateDirectory(path);
  return error == Platform::kErrorSuccess || error == Platform::kErrorAlreadyExists;
}

}  // namespace VyrUtilities
