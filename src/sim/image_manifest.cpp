// machine.json: the parts of a machine that are not on its disks.

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

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

void ReadVersion(const json& windows, Platform::OsVersionInfo* version) {
  version->majorVersion = windows.value("major", version->majorVersion);
  version->minorVersion = windows.value("minor", version->minorVersion);
  version->buildNumber = windows.value("build", version->buildNumber);
  version->productType = windows.value("productType", version->productType);
  version->servicePackMajor = windows.value("servicePackMajor", version->servicePackMajor);
  version->servicePackMinor = windows.value("servicePackMinor", version->servicePackMinor);
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
  result.processId = process.at("pid").get<uint32_t>();
  if (process.contains("parent")) result.parentId = process.at("parent").get<uint32_t>();
  result.image = Text(process, "image");
  result.owner = Text(process, "owner", false);
  if (result.owner.empty()) result.owner = u"S-1-5-18";
  return result;
}

// "trust": {"library": false} or {"catalogContext": false} breaks that step of the
// catalog check, as on a machine whose trust library is missing or damaged.
void ReadTrust(const json& trust, Emulated::TrustConfig* config) {
  config->libraryAvailable = trust.value("library", config->libraryAvailable);
  config->catalogContextAvailable = trust.value("catalogContext", config->catalogContextAvailable);
}

void ReadDocument(const json& doc, ImageManifest* manifest) {
  Emulated::MachineConfig& config = manifest->config;
  if (doc.contains("windows")) ReadVersion(doc.at("windows"), &config.version);
  if (doc.contains("computerName")) config.computerName = Text(doc, "computerName");
  config.utcOffsetMinutes = doc.value("utcOffsetMinutes", 0);
  if (doc.contains("trust")) ReadTrust(doc.at("trust"), &config.trust);
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
