#include "reader/inventory/file_check.h"

#include "fileinfo/file_information.h"
#include "platform/text_encoding.h"
#include "reader/inventory/shortcut_target.h"
#include "util/path_routines.h"

using Database::FileInformation;
using FileInfo::LoadFileInformation;
using FileInfo::SignerRecord;
using enum FileInfo::SignatureCode;

namespace Reader {
namespace {

std::u16string Lower(std::u16string text) {
  for (char16_t& c : text) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return text;
}

bool StartsWith(const std::u16string& text, const std::u16string& prefix) {
  return Lower(text.substr(0, prefix.size())) == prefix;
}

// Where an unquoted path with spaces ends: after the first known program extension.
std::u16string UpToExtension(const std::u16string& line) {
  static const char16_t* kExtensions[] = {u".exe", u".dll", u".sys", u".cpl", u".scr", u".ocx", u".com",
                                          u".bat", u".cmd", u".ax"};
  const std::u16string lower = Lower(line);
  size_t best = std::u16string::npos;
  for (const char16_t* extension : kExtensions) {
    const size_t at = lower.find(extension);
    if (at != std::u16string::npos) best = std::min(best, at + std::char_traits<char16_t>::length(extension));
  }
  std::u16string path = best == std::u16string::npos ? u"" : line.substr(0, best);
  while (!path.empty() && (path[0] == u'"' || path[0] == u' ')) path.erase(0, 1);
  return path;
}

// rundll32's library: what follows the program up to the comma of the entry point,
// spaces included, since Windows passes the whole rest of the line to rundll32.
std::u16string RundllLibrary(const std::u16string& line) {
  const size_t program = Lower(line).find(u"rundll32.exe");
  std::u16string rest = line.substr(program + 12);
  rest = rest.substr(0, rest.find(u','));
  const auto outside = [](char16_t c) { return c == u' ' || c == u'"'; };
  while (!rest.empty() && outside(rest.front())) rest.erase(0, 1);
  while (!rest.empty() && outside(rest.back())) rest.pop_back();
  return rest;
}

// The first 64 KiB of a file: more than any shortcut holds.
std::vector<uint8_t> Head(Platform::FileSystem& files, const std::u16string& path) {
  Platform::Handle file = 0;
  std::vector<uint8_t> bytes(1 << 16);
  uint32_t read = 0;
  if (files.CreateFile(path, Platform::kGenericRead, Platform::kFileShareRead, Platform::kOpenExisting, 0, &file) !=
      Platform::kErrorSuccess) {
    return {};
  }
  if (files.ReadFile(file, bytes, &read) != Platform::kErrorSuccess) read = 0;
  files.CloseFile(file);
  bytes.resize(read);
  return bytes;
}

}  // namespace

FileChecker::FileChecker(Platform::System& system)
    : system_(system), verifier_(system), listings_(system.Files()),
      windows_(VyrUtilities::GetSpecialFolder(system, Platform::kCsidlWindows)),
      system32_(VyrUtilities::GetSpecialFolder(system, Platform::kCsidlSystem)) {}

// A file under a folder that is not there is known missing from the listings
// (most of a large record's are); only the others are asked of the file system.
bool FileChecker::Load(const std::u16string& path, FileInformation* info) {
  return !path.empty() && listings_.MayExist(path) && LoadFileInformation(system_, *info, path);
}

bool FileChecker::Exists(const std::u16string& path) {
  FileInformation info;
  return Load(path, &info);
}

// A line without a variable reads the same expanded; most have none.
std::u16string FileChecker::Expand(const std::u16string& text) {
  return text.find(u'%') == std::u16string::npos ? text : VyrUtilities::ExpandEnvironment(system_, text);
}

// Where the loader finds a bare name (a package, provider or service library named
// without a folder): System32, then the Windows folder, and System32\drivers for a
// driver; a name without an extension is a library (".dll"), else a program
// (".exe"). The first of these that is there, or the first place looked at.
std::u16string FileChecker::Resolve(const std::u16string& bare) {
  const bool hasExtension = bare.find(u'.') != std::u16string::npos;
  std::vector<std::u16string> names = {bare};
  if (!hasExtension) names = {bare + u".dll", bare + u".exe"};
  std::vector<std::u16string> folders = {system32_, windows_};
  if (Lower(bare).ends_with(u".sys")) folders.insert(folders.begin(), system32_ + u"\\drivers");
  for (const std::u16string& folder : folders) {
    for (const std::u16string& name : names) {
      if (Exists(folder + u"\\" + name)) return folder + u"\\" + name;
    }
  }
  return folders.front() + u"\\" + names.front();
}

// The file a command line starts: the program, rundll32's library, autocheck's
// program, a driver's \SystemRoot\ or System32-relative path, or a bare name where
// the loader looks for it.
std::u16string FileChecker::FileOf(const std::u16string& commandLine) {
  const std::u16string line = Expand(commandLine);
  std::u16string program;
  std::vector<std::u16string> arguments;
  VyrUtilities::SplitCommandLine(line, program, arguments);
  const bool libraryOfRundll = Lower(program).ends_with(u"rundll32.exe") && !arguments.empty();
  if (libraryOfRundll) program = RundllLibrary(line);
  // A boot-time entry "autocheck autochk *" runs autochk from System32.
  if (Lower(program) == u"autocheck" && !arguments.empty()) {
    program = arguments[0] + (arguments[0].find(u'.') == std::u16string::npos ? u".exe" : u"");
  }
  std::u16string resolved;  // where the loader looks for a bare program name
  const std::u16string upToExtension = libraryOfRundll ? u"" : UpToExtension(line);
  for (std::u16string candidate : {program, upToExtension == program ? u"" : upToExtension}) {
    if (StartsWith(candidate, u"\\systemroot\\")) candidate = windows_ + candidate.substr(11);
    if (StartsWith(candidate, u"\\??\\")) candidate = candidate.substr(4);
    if (StartsWith(candidate, u"system32\\")) candidate = windows_ + u"\\" + candidate;
    if (candidate.empty()) continue;
    if (candidate.find(u'\\') != std::u16string::npos) {
      if (Exists(candidate)) return candidate;
      continue;
    }
    // A bare name is never taken from the current folder: the loader does not look there.
    const std::u16string found = Resolve(candidate);
    if (Exists(found)) return found;
    if (resolved.empty() && candidate == program) resolved = found;
  }
  // Nothing there: name the file as the line spells it. An unquoted path with spaces
  // names the file up to its extension ("C:\\Program Files\\A\\b.dll", not "C:\\Program"),
  // as Windows itself would look for it once the shorter names are not there; a bare
  // name is named where the loader looked first.
  const std::u16string spelled = UpToExtension(line);
  const size_t first = line.find_first_not_of(u' ');
  const bool quoted = first != std::u16string::npos && line[first] == u'"';
  if (!resolved.empty()) return resolved;
  if (StartsWith(program, u"system32\\")) return windows_ + u"\\" + program;
  if (!quoted && !libraryOfRundll && !spelled.empty()) return spelled;
  return program.find(u'\\') != std::u16string::npos ? program : spelled;
}

// A shortcut in a startup folder starts its target: the target is what is checked,
// the shortcut named beside it.
std::u16string FileChecker::TargetOf(const std::u16string& shortcut) {
  if (!Lower(shortcut).ends_with(u".lnk")) return u"";
  std::u16string target = ShortcutTarget(Head(system_.Files(), shortcut));
  if (target.empty()) return u"";
  target = Expand(target);
  if (target.size() < 2 || (target[1] != u':' && !target.starts_with(u"\\"))) {
    target = shortcut.substr(0, shortcut.find_last_of(u'\\') + 1) + target;  // relative to the shortcut
  }
  return target;
}

FileCheck FileChecker::Check(const std::string& commandLine) {
  FileCheck check;
  check.checked = true;
  std::u16string path = FileOf(Platform::Utf8ToUtf16(commandLine));
  FileInformation info;
  check.present = Load(path, &info);
  if (const std::u16string target = check.present ? TargetOf(path) : u""; !target.empty()) {
    check.shortcut = Platform::Utf16ToUtf8(path);
    path = target;
    check.present = Load(path, &info);
  }
  check.path = Platform::Utf16ToUtf8(path);
  if (!check.present) return check;
  check.version = Platform::Utf16ToUtf8(info.VersionString(0));
  check.company = Platform::Utf16ToUtf8(info.VersionString(4));
  SignerRecord signer;
  const uint32_t code = verifier_.VerifyFileSignature(path, &signer, nullptr);
  check.hasSignature = code != kSignatureNotSigned && code != kSignatureCheckFailed;
  check.signer = Platform::Utf16ToUtf8(signer.name);
  check.signatureValid = code == kSignatureTrusted;
  return check;
}

}  // namespace Reader
