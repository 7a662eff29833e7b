// machine.json: the parts of a machine that are not on its disks.

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>

#include <nlohmann/json.hpp>

#include "platform/text_encoding.h"
#include "platform/win32_types.h"
#include "sim/machine_image.h"

namespace Sim {
namespace {

using nlohmann::json;

std::u16string Text(const json& object, const char* name, bool required = true) {
  if (!object.contains(name)) {
    if (required) throw std::runtime_error(std::string("\"") + name + "\" is missing");
    return {};
  }
  return Platform::Utf8ToUtf16(object.at(name).get<std::string>());
}

// A number of the manifest as T: a whole number within T's range, or the reading
// stops naming it. The JSON library's own conversion would cut 4.5 or 70000 into
// something else without a word (and a float beyond T's range is undefined there).
template <typename T>
std::optional<T> WholeNumber(const json& object, const char* name) {
  if (!object.is_object()) throw std::runtime_error(std::string("an object was expected around \"") + name + "\"");
  if (!object.contains(name)) return std::nullopt;
  const json& value = object.at(name);
  constexpr int64_t kLow = std::numeric_limits<T>::min(), kHigh = std::numeric_limits<T>::max();
  if (value.is_number_unsigned() && value.get<uint64_t>() <= static_cast<uint64_t>(kHigh))
    return static_cast<T>(value.get<uint64_t>());
  if (value.is_number_integer() && value.get<int64_t>() >= kLow && value.get<int64_t>() <= kHigh)
    return static_cast<T>(value.get<int64_t>());
  throw std::runtime_error(std::string("\"") + name + "\" must be a whole number from " + std::to_string(kLow) +
                           " to " + std::to_string(kHigh));
}

void ReadVersion(const json& windows, Platform::OsVersionInfo* version) {
  version->majorVersion = WholeNumber<uint32_t>(windows, "major").value_or(version->majorVersion);
  version->minorVersion = WholeNumber<uint32_t>(windows, "minor").value_or(version->minorVersion);
  version->buildNumber = WholeNumber<uint32_t>(windows, "build").value_or(version->buildNumber);
  version->productType = WholeNumber<uint8_t>(windows, "productType").value_or(version->productType);
  version->servicePackMajor = WholeNumber<uint16_t>(windows, "servicePackMajor").value_or(version->servicePackMajor);
  version->servicePackMinor = WholeNumber<uint16_t>(windows, "servicePackMinor").value_or(version->servicePackMinor);
  version->csdVersion = Platform::Utf8ToUtf16(windows.value("csdVersion", std::string()));
  if (version->productType < Platform::kVerNtWorkstation || version->productType > Platform::kVerNtServer)
    throw std::runtime_error("windows.productType must be 1 (workstation), 2 (domain controller) or 3 (server)");
}

// "account": "DOMAIN\name", as Windows shows an account.
Emulated::UserAccount ReadUser(const json& user) {
  Emulated::UserAccount account;
  account.sid = Text(user, "sid");
  const std::u16string full = Text(user, "account");
  const size_t slash = full.find(u'\\');
  if (slash == std::u16string::npos) throw std::runtime_error("a user's \"account\" must be DOMAIN\\name");
  account.domain = full.substr(0, slash);
  account.name = full.substr(slash + 1);
  account.profilePath = Text(user, "profile");
  account.loggedOn = user.value("loggedOn", false);
  return account;
}

ImageProcess ReadProcess(const json& process) {
  ImageProcess result;
  const std::optional<uint32_t> id = WholeNumber<uint32_t>(process, "pid");
  if (!id) throw std::runtime_error("a process's \"pid\" is missing");
  result.processId = *id;
  result.parentId = WholeNumber<uint32_t>(process, "parent");
  result.image = Text(process, "image");
  result.owner = Text(process, "owner", false);
  if (result.owner.empty()) result.owner = u"S-1-5-18";
  result.protectedProcess = process.value("protected", false);
  return result;
}

// "systemLanguage": a LANGID, as a number or as hex text such as "0x0407" (the form
// Windows documents them in).
uint16_t ReadLanguage(const json& doc) {
  const json& value = doc.at("systemLanguage");
  const unsigned long id = value.is_string() ? std::stoul(value.get<std::string>(), nullptr, 16)
                                             : WholeNumber<uint16_t>(doc, "systemLanguage").value_or(0);
  if (id == 0 || id > 0xFFFF) throw std::runtime_error("\"systemLanguage\" must be a LANGID from 0x0001 to 0xFFFF");
  return static_cast<uint16_t>(id);
}

// A SHA-1 thumbprint as certificate tools show it: 40 hexadecimal digits, in pairs
// separated by blanks or colons or not at all; kept in upper case.
std::u16string ReadThumbprint(const json& value) {
  std::u16string digits;
  for (char c : value.get<std::string>()) {
    if (c == ' ' || c == ':') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c)) || digits.size() == 40)
      throw std::runtime_error("trust.vendorRoots holds \"" + value.get<std::string>() +
                               "\", which is not a SHA-1 thumbprint (40 hexadecimal digits)");
    digits += static_cast<char16_t>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (digits.size() != 40)
    throw std::runtime_error("trust.vendorRoots holds \"" + value.get<std::string>() +
                             "\", which is not a SHA-1 thumbprint (40 hexadecimal digits)");
  return digits;
}

// A file name under CatRoot\{F750E6C3-...}, as the catalog database registers it.
std::u16string ReadCatalogName(const json& value) {
  const std::string name = value.get<std::string>();
  if (name.empty() || name.find_first_of("\\/:") != std::string::npos)
    throw std::runtime_error("trust.registeredCatalogs holds \"" + name + "\", which is not a file name");
  return Platform::Utf8ToUtf16(name);
}

// "trust": {"library": false} or {"catalogContext": false} breaks that step of the
// catalog check, as on a machine whose trust library is missing or damaged;
// "vendorRoots" names the roots the driver policy accepts for catalog members and
// "registeredCatalogs" the catalogs the catalog database holds (none when absent).
void ReadTrust(const json& trust, Emulated::TrustConfig* config) {
  config->libraryAvailable = trust.value("library", config->libraryAvailable);
  config->catalogContextAvailable = trust.value("catalogContext", config->catalogContextAvailable);
  for (const json& root : trust.value("vendorRoots", json::array())) config->vendorRoots.push_back(ReadThumbprint(root));
  for (const json& name : trust.value("registeredCatalogs", json::array()))
    config->registeredCatalogs.push_back(ReadCatalogName(name));
}

void ReadDocument(const json& doc, ImageManifest* manifest) {
  Emulated::MachineConfig& config = manifest->config;
  if (doc.contains("windows")) ReadVersion(doc.at("windows"), &config.version);
  if (doc.contains("computerName")) config.computerName = Text(doc, "computerName");
  config.utcOffsetMinutes = WholeNumber<int32_t>(doc, "utcOffsetMinutes").value_or(0);
  if (doc.contains("systemLanguage")) config.systemDefaultLangId = ReadLanguage(doc);
  if (doc.contains("trust")) ReadTrust(doc.at("trust"), &config.trust);
  // "driver": false, a machine where the minifilter was never put (its driver needs
  // a signature only its maker can obtain): the service runs without it.
  if (doc.contains("driver")) {
    if (!doc.at("driver").is_boolean()) throw std::runtime_error("\"driver\" must be true or false");
    config.minifilterPresent = doc.at("driver").get<bool>();
  }
  // Held in locals: a range-for over items() of a temporary would dangle.
  const json environment = doc.value("environment", json::object());
  const json users = doc.value("users", json::array());
  const json processes = doc.value("processes", json::array());
  for (const auto& [name, value] : environment.items())
    config.environment.emplace_back(Platform::Utf8ToUtf16(name), Platform::Utf8ToUtf16(value.get<std::string>()));
  for (const json& user : users) config.users.push_back(ReadUser(user));
  for (const json& process : processes) manifest->processes.push_back(ReadProcess(process));
}

// Every one-letter folder below drives/ is a drive; C is required.
bool FindDrives(const std::string& folder, Emulated::MachineConfig* config, std::string* error) {
  std::error_code ec;
  const std::filesystem::path drives = std::filesystem::path(folder) / "drives";
  uint32_t volume = 2;
  std::vector<std::filesystem::path> letters;
  for (const auto& entry : std::filesystem::directory_iterator(drives, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && name.size() == 1 && std::isalpha(static_cast<unsigned char>(name[0])))
      letters.push_back(entry.path());
  }
  std::sort(letters.begin(), letters.end());
  for (const auto& path : letters) {
    const char letter = static_cast<char>(std::toupper(path.filename().string()[0]));
    config->drives.push_back({static_cast<char16_t>(letter), path.string(), volume++});
  }
  const bool hasC = std::any_of(config->drives.begin(), config->drives.end(),
                                [](const auto& d) { return d.letter == u'C'; });
  if (!hasC) *error = (drives / "C").string() + ": the system drive is missing";
  return hasC;
}

}  // namespace

bool ReadImageManifest(const std::string& folder, ImageManifest* manifest, std::string* error) {
  const std::string file = (std::filesystem::path(folder) / "machine.json").string();
  std::ifstream in(file);
  if (!in) {
    *error = file + ": cannot be read";
    return false;
  }
  ImageManifest result;
  try {
    ReadDocument(json::parse(in), &result);
  } catch (const std::exception& e) {
    *error = file + ": " + e.what();
    return false;
  }
  if (!FindDrives(folder, &result.config, error)) return false;
  *manifest = std::move(result);
  return true;
}

std::string ImageHostPath(const std::string& folder, std::u16string_view windowsPath) {
  std::string path = Platform::Utf16ToUtf8(windowsPath);
  if (path.size() < 2 || path[1] != ':') return {};
  std::string host = folder + "/drives/" + static_cast<char>(std::toupper(path[0]));
  for (size_t i = 2; i < path.size(); ++i) host += path[i] == '\\' ? '/' : path[i];
  return host;
}

}  // namespace Sim
