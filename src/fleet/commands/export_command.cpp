// brumevale export's command line, the one fleet command every build carries.

#include <ostream>

#include "fleet/export/exporter.h"
#include "fleet/commands/fleet_arguments.h"
#include "fleet/commands/fleet_cli.h"
#include "fleet/export/machine_identity.h"

namespace Fleet {

int RunExportCommand(const std::vector<std::string>& args, const FleetHost& host, const std::atomic<bool>& stop,
                     std::ostream& err) {
  const std::string program = host.programName + " export";
  Arguments a;
  std::string error;
  ExportOptions options;
  if (!ParseArguments(args, 1, {"--server", "--machine", "--machine-id", "--user", "--password-file", "--tls-ca", "--tls-cert", "--tls-key",
                                "--give-up-after"}, {"--follow"}, &a, &error) ||
      !NatsSettingsOf(a, host, &options.nats, &error) || !GiveUpSecondsOf(a, &options.giveUpSeconds, &error))
    return BadInput(err, program, error);
  if (a.positional.size() > 1) return BadInput(err, program, "one database at most");
  options.database = a.positional.empty() ? host.ownDatabase : a.positional[0];
  if (options.database.empty()) return BadInput(err, program, "name the database file");
  const bool named = a.values.count("--machine") != 0;
  options.machine.name = named ? a.values.at("--machine") : host.computerName;
  if (options.machine.name.empty()) return BadInput(err, program, "--machine NAME is required on this system");
  options.machine.id = a.values.count("--machine-id") ? a.values.at("--machine-id")
                       : named                        ? MachineIdOfName(options.machine.name)
                                                      : host.machineGuid;
  if (options.machine.id.empty()) return BadInput(err, program, "the machine has no id; give --machine-id ID");
  if (!IsMachineId(options.machine.id))
    return BadInput(err, program, "--machine-id takes letters, digits, _ and - only, not \"" + options.machine.id + "\"");
  // Names collide (two machines named alike, or LAB.PC and LAB_PC); ids do not.
  options.machine.token = options.machine.id;
  options.follow = a.flags.count("--follow") != 0;
  return RunExport(options, stop, err);
}

bool IsFleetCommand(const std::string& command) {
  return command == "export" || command == "collect" || command == "fleet";
}

std::string FleetUsage(const std::string& program, bool central) {
  std::string usage =
      "       " + program + " export --server URL[,URL...] [DB] [--machine NAME] [--machine-id ID] [--follow]\n"
      "           [--user NAME --password-file FILE] [--tls-ca FILE] [--tls-cert FILE --tls-key FILE]\n"
      "           [--give-up-after SECONDS]\n";
  if (!central) return usage;
  return usage +
         "       " + program + " collect --server URL[,URL...] --database CONNINFO [--drain] [--user NAME\n"
         "           --password-file FILE] [--tls-ca FILE] [--tls-cert FILE --tls-key FILE]\n"
         "       " + program + " fleet --database CONNINFO machines|new [--since 24h] [--unsigned]|where TEXT|\n"
         "           history (--machine NAME|--machine-id ID) [history filters, --net]|\n"
         "           audit (--machine NAME|--machine-id ID) DB\n"
         "           [--format text|json|csv]\n"
         "       " + program + " fleet setup --server URL[,URL...] [--replicas 3] [--max-age 30d]\n"
         "           [--max-bytes 64G] [--max-deliver 2000] [--update]\n"
         "       " + program + " fleet --database CONNINFO migrate | prune --keep-months N |\n"
         "           status [--server URL[,URL...]] | entries [--format text|json|csv]\n"
         "       " + program + " fleet --database CONNINFO replay --server URL[,URL...] [--user NAME\n"
         "           --password-file FILE] [--tls-ca FILE]\n";
}

}  // namespace Fleet
