#include "fleet/windows/export_windows.h"

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

#include <nats/nats.h>

#include "fleet/windows/export_service_win.h"
#include "fleet/export/exporter.h"
#include "fleet/commands/fleet_arguments.h"
#include "fleet/commands/fleet_cli.h"
#include "fleet/export/machine_identity.h"
#include "fleet/windows/secret_file_win.h"
#include "platform/text_encoding.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_system.h"
#include "reader/record/own_machine.h"

namespace Fleet {
namespace {

std::atomic<bool> consoleStop{false};

BOOL WINAPI OnConsoleControl(DWORD) {
  consoleStop = true;
  return TRUE;
}

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// A REG_SZ value of HKLM, the 64-bit view; empty when missing.
std::string MachineValue(const std::u16string& key, const std::u16string& name) {
  wchar_t buffer[2048];
  DWORD size = sizeof(buffer);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, Wide(key), Wide(name), RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, buffer,
                   &size) != ERROR_SUCCESS)
    return "";
  const std::wstring value(buffer);
  return Platform::Utf16ToUtf8(std::u16string(value.begin(), value.end()));
}

FleetHost MachineHost() {
  Win32::System system;
  FleetHost host;
  host.ownDatabase = Platform::Utf16ToUtf8(Reader::ServiceDatabasePath(system));
  host.computerName = Platform::Utf16ToUtf8(Reader::MachineName(system));
  host.machineGuid = MachineValue(u"SOFTWARE\\Microsoft\\Cryptography", u"MachineGuid");
  return host;
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(Wide(Platform::Utf8ToUtf16(path))) != INVALID_FILE_ATTRIBUTES;
}

// A password file must be closed to other accounts before anything reads it; one
// that is not there is left to the command, which says so as on Linux.
bool SecretFilesClosed(const std::vector<std::string>& args, std::string* why) {
  for (size_t i = 1; i + 1 < args.size(); ++i)
    if (args[i] == "--password-file" && Exists(args[i + 1]) && !OnlyAdministratorsCanRead(args[i + 1], why))
      return false;
  return true;
}

// The service's settings: Servers, CredentialsFile (the user name on its first line,
// the password on its second) and CAFile under the product's key.
bool ServiceOptions(const FleetHost& host, ExportOptions* options, std::string* error) {
  const std::u16string key = kExportSettingsKey;
  std::stringstream servers(MachineValue(key, u"Servers"));
  for (std::string url; std::getline(servers, url, ',');)
    if (!url.empty()) options->nats.servers.push_back(url);
  if (options->nats.servers.empty()) return *error = "no Servers value under HKLM\\" + Platform::Utf16ToUtf8(key), false;
  const std::string credentials = MachineValue(key, u"CredentialsFile");
  if (!credentials.empty()) {
    if (Exists(credentials) && !OnlyAdministratorsCanRead(credentials, error))
      return *error = SecretFileRefusal(*error), false;
    std::ifstream in(std::filesystem::path(Platform::Utf8ToUtf16(credentials)));
    if (!in || !std::getline(in, options->nats.user) || !std::getline(in, options->nats.password))
      return *error = "cannot read a user name and a password from " + credentials, false;
    for (std::string* line : {&options->nats.user, &options->nats.password})
      if (!line->empty() && line->back() == '\r') line->pop_back();
  }
  options->nats.tlsCa = MachineValue(key, u"CAFile");
  if (!options->nats.tlsCa.empty() && !std::ifstream(std::filesystem::path(Platform::Utf8ToUtf16(options->nats.tlsCa))))
    return *error = "cannot read the certificate file " + options->nats.tlsCa, false;
  options->database = host.ownDatabase;
  options->machine = {host.computerName, host.machineGuid, host.machineGuid};
  if (!IsMachineId(options->machine.id)) return *error = "the machine has no usable MachineGuid", false;
  options->follow = true;
  return true;
}

// Lines go to Logs\BrumevaleExport.log beside the record, one per problem, as the
// command prints them; to console when that file cannot be opened.
int RunService(const FleetHost& host, std::ostream& console) {
  const std::filesystem::path data = std::filesystem::path(Platform::Utf8ToUtf16(host.ownDatabase)).parent_path();
  std::ofstream log(data / "Logs" / "BrumevaleExport.log", std::ios::app);
  std::ostream& err = log ? static_cast<std::ostream&>(log) : console;
  const bool dispatched = RunAsExportService([&](const std::atomic<bool>& stop) {
    std::string error;
    if (!SetExportRecoveryActions(&error)) err << "brumevale export: " << error << std::endl;
    ExportOptions options;
    if (!ServiceOptions(host, &options, &error)) return BadInput(err, "brumevale export", error);
    err << "brumevale export: following " << options.database << " as " << options.machine.id << std::endl;
    return RunExport(options, stop, err);
  });
  if (dispatched) return 0;
  console << "brumevale export: --service is for the service manager (the service \"BrumevaleExport\")\n";
  return 2;
}

}  // namespace

int RunWindowsExport(const std::vector<std::string>& args, std::ostream& err) {
  // The NATS client spins up to 2000 times on a busy lock before it waits. Its
  // threads (reading, flushing, acknowledgements, freeing) contend for the
  // connection's lock with every publish, and under Wine a spinning critical section
  // burnt more than a third of the exporter's processor time, taking it from the
  // thread that builds the messages. Locks that wait at once cost nothing measurable
  // there. This precedes every other call of the client, which opens it only once.
  nats_Open(0);
  const FleetHost host = MachineHost();
  if (args.size() == 2 && args[1] == "--service") return RunService(host, err);
  std::string why;
  if (!SecretFilesClosed(args, &why))
    return BadInput(err, "brumevale export", SecretFileRefusal(why));
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  return RunExportCommand(args, host, consoleStop, err);
}

}  // namespace Fleet
