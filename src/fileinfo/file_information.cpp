#include "fileinfo/file_information.h"

#include <array>
#include <cstdio>
#include <span>
#include <vector>

#include "platform/byte_order.h"
#include "util/text_routines.h"
#include "util/time_text.h"

using Database::FileInformation;

namespace FileInfo {

namespace {

constexpr uint32_t kPathCapacity = 260;

// In the order of the record's version strings.
constexpr std::array<std::u16string_view, FileInformation::kVersionStringCount> kVersionNames = {
    u"FileVersion",  u"FileDescription", u"LegalCopyright",   u"Comments",    u"CompanyName",
    u"InternalName", u"LegalTrademarks", u"OriginalFilename", u"ProductName", u"ProductVersion"};

// The long absolute form of path, and where its file-name part starts.
bool AbsoluteLongPath(Platform::FileSystem& files, const std::u16string& path, std::u16string* full,
                      size_t* filePart) {
  std::u16string source = path;
  uint32_t required = 0;
  // A "~" can only come from an 8.3 name; only then is the slower expansion needed.
  if (path.find(u'~') != std::u16string::npos &&
      files.GetLongPathName(path, kPathCapacity, &source, &required) != Platform::kErrorSuccess)
    return false;
  return files.GetFullPathName(source, kPathCapacity, full, filePart, &required) == Platform::kErrorSuccess;
}

// The text after the last "." of name, or all of name when it has none.
std::u16string ExtensionOf(const std::u16string& name) {
  const size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos ? name : name.substr(dot + 1);
}

// "\StringFileInfo\llllcccc\" with four lower-case hex digits each.
std::u16string StringTablePath(uint16_t language, uint16_t codePage) {
  char key[16];
  std::snprintf(key, sizeof(key), "%04x%04x", language, codePage);
  return u"\\StringFileInfo\\" + std::u16string(key, key + 8) + u"\\";
}

// The text of a string value, up to its terminator.
std::u16string ValueText(std::span<const uint8_t> value) {
  return Platform::Utf16LeTextToNul(value);
}

// The translation (language in the low half, code page in the high) to read: the
// first whose language is the system default, else the first listed.
uint32_t ChooseTranslation(std::span<const uint8_t> translations, uint16_t systemLanguage) {
  for (size_t at = 0; at + 4 <= translations.size(); at += 4)
    if ((Platform::ReadLe32(translations, at) & 0xFFFF) == systemLanguage) return Platform::ReadLe32(translations, at);
  return Platform::ReadLe32(translations, 0);
}

}  // namespace

bool LoadVersionInformation(Platform::System& system, FileInformation& record) {
  Platform::VersionInfo& versions = system.VersionInfo();
  const uint32_t size = versions.GetFileVersionInfoSize(record.fullPath);
  if (size == 0) return false;
  std::vector<uint8_t> block;
  if (versions.GetFileVersionInfo(record.fullPath, size, &block) != Platform::kErrorSuccess) return false;
  std::span<const uint8_t> translations;
  if (!versions.VerQueryValue(block, u"\\VarFileInfo\\Translation", &translations) || translations.size() < 4)
    return true;
  const uint32_t chosen = ChooseTranslation(translations, system.Environment().GetSystemDefaultLangId());
  const std::u16string table = StringTablePath(chosen & 0xFFFF, chosen >> 16);
  for (size_t i = 0; i < kVersionNames.size(); ++i) {
    std::span<const uint8_t> value;
    if (versions.VerQueryValue(block, table + std::u16string(kVersionNames[i]), &value) && !value.empty())
      record.versionStrings[i] = ValueText(value);
  }
  return true;
}

bool LoadFileInformation(Platform::System& system, FileInformation& record, const std::u16string& path) {
  Platform::FileSystem& files = system.Files();
  Platform::FileAttributeData data;
  if (path.empty() || files.GetFileAttributesEx(path, &data) != Platform::kErrorSuccess ||
      (data.attributes & Platform::kFileAttributeDirectory) != 0)
    return false;
  std::u16string full;
  size_t filePart = 0;
  if (!AbsoluteLongPath(files, path, &full, &filePart)) return false;
  record.fileName = VyrUtilities::ToLower(filePart < full.size() ? full.substr(filePart) : std::u16string());
  record.fullPath = VyrUtilities::ToLower(full);
  record.extension = ExtensionOf(record.fileName);
  record.fileSizeHigh = static_cast<uint32_t>(data.size >> 32);
  record.fileSizeLow = static_cast<uint32_t>(data.size);
  record.creationTime = VyrUtilities::FormatFileTime(system, data.creationTime, false);
  record.lastWriteTime = VyrUtilities::FormatFileTime(system, data.lastWriteTime, false);
  record.lastAccessTime = VyrUtilities::FormatFileTime(system, data.lastAccessTime, false);
  record.versionInformation = LoadVersionInformation(system, record) ? 1 : 0;
  return true;
}

}  // namespace FileInfo
