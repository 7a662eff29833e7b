#include "fleet/fleet_cli.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>

#include "fleet/collector.h"
#include "fleet/exporter.h"
#include "fleet/fleet_audit.h"
#include "fleet/fleet_queries.h"
#include "fleet/machine_identity.h"

namespace Fleet {
namespace {

// --name value pairs and flags after the command; the rest are positional.
struct Arguments {
  std::map<std::string, std::string> values;
  std::map<std::string, bool> flags;
  std::vector<std::string> positional;
  std::vector<std::string> rest;  // history filters, passed on as they came
};

bool Parse(const std::vector<std::string>& args, size_t first, const std::vector<std::string>& valued,
           const std::vector<std::string>& flagged, const std::vector<std::string>& passed, Arguments* out,
           std::string* error) {
  auto in = [](const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
  };
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (in(flagged, arg)) {
      out->flags[arg] = true;
    } else if (in(valued, arg) || in(passed, arg)) {
      if (i + 1 >= args.size()) return *error = arg + " needs a value", false;
      if (in(passed, arg)) out->rest.insert(out->rest.end(), {arg, args[i + 1]});
      else out->values[arg] = args[i + 1];
      ++i;
    } else if (arg.rfind("-", 0) == 0) {
      return *error = "unknown option " + arg, false;
    } else {
      out->positional.push_back(arg);
    }
  }
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

int Bad(std::ostream& err, const std::string& program, const std::string& what) {
  err << program << ": " << what << std::endl;
  return 2;
}

// The connection settings shared by export and collect.
bool NatsOf(const Arguments& a, const FleetHost& host, NatsSettings* nats, std::string* error) {
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
  if (a.values.count("--tls-ca")) {
    if (!host.tls) return *error = "this build carries no TLS; --tls-ca is not available", false;
    nats->tlsCa = a.values.at("--tls-ca");
    if (!std::ifstream(nats->tlsCa)) return *error = "cannot read the certificate file " + nats->tlsCa, false;
  }
  return true;
}

bool Seconds(const Arguments& a, int* seconds, std::string* error) {
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

int Export(const std::vector<std::string>& args, const FleetHost& host, const std::atomic<bool>& stop,
           std::ostream& err) {
  const std::string program = host.programName + " export";
  Arguments a;
  std::string error;
  ExportOptions options;
  if (!Parse(args, 1, {"--server", "--machine", "--machine-id", "--user", "--password-file", "--tls-ca",
                       "--give-up-after"}, {"--follow"}, {}, &a, &error) ||
      !NatsOf(a, host, &options.nats, &error) || !Seconds(a, &options.giveUpSeconds, &error))
    return Bad(err, program, error);
  if (a.positional.size() > 1) return Bad(err, program, "one database at most");
  options.database = a.positional.empty() ? host.ownDatabase : a.positional[0];
  if (options.database.empty()) return Bad(err, program, "name the database file");
  const bool named = a.values.count("--machine") != 0;
  options.machine.name = named ? a.values.at("--machine") : host.computerName;
  if (options.machine.name.empty()) return Bad(err, program, "--machine NAME is required on this system");
  options.machine.token = SubjectToken(options.machine.name);
  options.machine.id = a.values.count("--machine-id") ? a.values.at("--machine-id")
                       : named                        ? MachineIdOfName(options.machine.name)
                                                      : host.machineGuid;
  if (options.machine.id.empty()) return Bad(err, program, "the machine has no id; give --machine-id ID");
  options.follow = a.flags.count("--follow") != 0;
  return RunExport(options, stop, err);
}

int Collect(const std::vector<std::string>& args, const FleetHost& host, const std::atomic<bool>& stop,
            std::ostream& err) {
  const std::string program = host.programName + " collect";
  Arguments a;
  std::string error;
  CollectOptions options;
  if (!Parse(args, 1, {"--server", "--database", "--user", "--password-file", "--tls-ca", "--give-up-after"},
             {"--drain"}, {}, &a, &error) ||
      !NatsOf(a, host, &options.nats, &error) || !Seconds(a, &options.giveUpSeconds, &error))
    return Bad(err, program, error);
  if (!a.positional.empty()) return Bad(err, program, "unexpected argument " + a.positional[0]);
  if (!a.values.count("--database")) return Bad(err, program, "--database CONNINFO is required");
  options.conninfo = a.values.at("--database");
  options.drain = a.flags.count("--drain") != 0;
  return RunCollect(options, stop, err);
}

int Query(const std::vector<std::string>& args, const FleetHost& host, std::ostream& out, std::ostream& err) {
  const std::string program = host.programName + " fleet";
  Arguments a;
  std::string error;
  if (!Parse(args, 1, {"--database", "--format", "--since", "--machine"}, {"--unsigned", "--unattributed"},
             {"--until", "--type", "--entry", "--user", "--process"}, &a, &error))
    return Bad(err, program, error);
  if (a.positional.empty()) return Bad(err, program, "name a query: machines, new, where, history or audit");
  const std::string query = a.positional.front();
  a.positional.erase(a.positional.begin());
  OutputFormat format = OutputFormat::Text;
  if (a.values.count("--format") && !ParseOutputFormat(a.values.at("--format"), &format))
    return Bad(err, program, "--format takes text, json or csv");
  if (!a.values.count("--database")) return Bad(err, program, "--database CONNINFO is required");
  const std::string machine = a.values.count("--machine") ? a.values.at("--machine") : "";
  const size_t positional = query == "where" || query == "audit" ? 1 : 0;
  if (a.positional.size() != positional)
    return Bad(err, program, query == "where" ? "where takes one TEXT" : query == "audit" ? "audit takes one DB"
                                                                                          : "unexpected argument");
  if ((query == "history" || query == "audit") && machine.empty())
    return Bad(err, program, query + " needs --machine NAME");
  if (query != "machines" && query != "new" && query != "where" && query != "history" && query != "audit")
    return Bad(err, program, "unknown query " + query);
  PgLink pg;
  if (!pg.Connect(a.values.at("--database"), &error)) {
    err << program << ": " << error << std::endl;
    return 1;
  }
  if (query == "machines") return QueryMachines(pg, format, out, err);
  if (query == "new")
    return QueryNew(pg, a.values.count("--since") ? a.values.at("--since") : "24h", a.flags.count("--unsigned") != 0,
                    format, out, err);
  if (query == "where") return QueryWhere(pg, a.positional[0], format, out, err);
  if (query == "audit") return AuditMachine(pg, machine, a.positional[0], out, err);
  std::vector<std::string> filters = a.rest;
  if (a.values.count("--since")) filters.insert(filters.end(), {"--since", a.values.at("--since")});
  if (a.flags.count("--unattributed")) filters.push_back("--unattributed");
  return QueryHistory(pg, machine, filters, format, out, err);
}

}  // namespace

bool IsFleetCommand(const std::string& command) {
  return command == "export" || command == "collect" || command == "fleet";
}

int RunFleetCommand(const std::vector<std::string>& args, const FleetHost& host, const std::atomic<bool>& stop,
                    std::ostream& out, std::ostream& err) {
  if (args.empty() || !IsFleetCommand(args[0])) return Bad(err, host.programName, "unknown command");
  if (args[0] == "export") return Export(args, host, stop, err);
  if (args[0] == "collect") return Collect(args, host, stop, err);
  return Query(args, host, out, err);
}

std::string FleetUsage(const std::string& program) {
  return "  " + program + " export --server URL[,URL...] [DB] [--machine NAME] [--machine-id ID] [--follow]\n"
         "        [--user NAME --password-file FILE] [--tls-ca FILE] [--give-up-after SECONDS]\n"
         "  " + program + " collect --server URL[,URL...] --database CONNINFO [--drain] [--user NAME\n"
         "        --password-file FILE] [--tls-ca FILE]\n"
         "  " + program + " fleet --database CONNINFO machines|new [--since 24h] [--unsigned]|where TEXT|\n"
         "        history --machine NAME [history filters]|audit --machine NAME DB [--format text|json|csv]\n";
}

}  // namespace Fleet
