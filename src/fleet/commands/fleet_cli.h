#pragma once
// The fleet's commands of the brumevale program: export, collect and fleet.
// Exit codes: 0 done, 1 a server could not be reached (or the audit found
// something), 2 bad input, with one line on err.

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace Fleet {

// What the program knows of the machine it runs on.
struct FleetHost {
  std::string programName = "brumevale";
  std::string ownDatabase;   // the service's database; empty where there is none (Linux)
  std::string computerName;  // empty where a machine name must be given
  std::string machineGuid;   // the machine's id where it has one
  bool tls = true;           // false: this build carries no TLS
};

bool IsFleetCommand(const std::string& command);

// args: the command and its arguments, without the program's name. stop ends a
// following exporter or a collector at its next step. Every build has export;
// collect and fleet need PostgreSQL's client and come with the Linux build only.
int RunExportCommand(const std::vector<std::string>& args, const FleetHost& host, const std::atomic<bool>& stop,
                     std::ostream& err);
int RunFleetCommand(const std::vector<std::string>& args, const FleetHost& host, const std::atomic<bool>& stop,
                    std::ostream& out, std::ostream& err);

// The usage lines of the fleet commands; central adds collect and fleet.
std::string FleetUsage(const std::string& programName, bool central);

}  // namespace Fleet
