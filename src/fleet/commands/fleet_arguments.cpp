#include "fleet/commands/fleet_arguments.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace Fleet {
namespace {

bool In(const std::vector<std::string>& list, const std::string& name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& args, size_t first, const std::vector<std::string>& valued,
                    const std::vector<std::string>& flagged, Arguments* out, std::string* error) {
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (In(flagged, arg)) {
      out->flags[arg] = true;
    } else if (In(valued, arg)) {
      if (i + 1 >= args.size()) return *error = arg + " needs a value", false;
      out->values[arg] = args[++i];
    } else if (arg.rfind("-", 0) == 0) {
      return *error = "unknown option " + arg, false;
    } else {
      out->positional.push_back(arg);
    }
  }
  return true;
}

bool NatsSettingsOf(const Arguments& a, const FleetHost& host, NatsSettings* nats, std::string* error) {
  const auto server = a.values.find("--server");
  if (server == a.values.end()) return *error = "--server URL[,URL...] is required", false;
  nats->servers = Split(server->second, ',');
  if (nats->servers.empty()) return *error = "--server names no server", false;
  if (a.values.count("--user")) {
    nats->user = a.values.at("--user");
    const auto file = a.values.find("--password-file");
    if (file == a.values.end()) return *error = "--user needs --password-file FILE", false;
    std::ifstream in(file->second);
    if (!in || !std::getline(in, nats->password)) return *error = "cannot read the password file " + file->second, false;
    if (!nats->password.empty() && nats->password.back() == '\r') nats->password.pop_back();
  }
  if (a.values.count("--tls-cert") != a.values.count("--tls-key"))
    return *error = "--tls-cert FILE and --tls-key FILE go together", false;
  if (a.values.count("--tls-cert")) {
    if (!host.tls) return *error = "this build carries no TLS; --tls-cert is not available", false;
    nats->tlsCert = a.values.at("--tls-cert");
    nats->tlsKey = a.values.at("--tls-key");
    for (const std::string& file : {nats->tlsCert, nats->tlsKey})
      if (!std::ifstream(file)) return *error = "cannot read the certificate file " + file, false;
  }
  if (a.values.count("--tls-ca")) {
    if (!host.tls) return *error = "this build carries no TLS; --tls-ca is not available", false;
    nats->tlsCa = a.values.at("--tls-ca");
    if (!std::ifstream(nats->tlsCa)) return *error = "cannot read the certificate file " + nats->tlsCa, false;
  }
  return true;
}

bool GiveUpSecondsOf(const Arguments& a, int* seconds, std::string* error) {
  const auto value = a.values.find("--give-up-after");
  if (value == a.values.end()) return true;
  try {
    *seconds = std::stoi(value->second);
  } catch (...) {
    *seconds = -1;
  }
  if (*seconds < 1) return *error = "--give-up-after takes a number of seconds", false;
  return true;
}

int BadInput(std::ostream& err, const std::string& program, const std::string& what) {
  err << program << ": " << what << std::endl;
  return 2;
}

}  // namespace Fleet
