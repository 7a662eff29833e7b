#pragma once
// The command line of export, collect and fleet: --name value pairs and flags after
// the command, the rest positional; and the connection settings export and collect share.

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "fleet/commands/fleet_cli.h"
#include "fleet/links/jetstream_link.h"

namespace Fleet {

struct Arguments {
  std::map<std::string, std::string> values;
  std::map<std::string, bool> flags;
  std::vector<std::string> positional;
};

// Reads args from first on; valued names take the next argument, flagged ones none.
// False with a message for an unknown option or a missing value.
bool ParseArguments(const std::vector<std::string>& args, size_t first, const std::vector<std::string>& valued,
                    const std::vector<std::string>& flagged, Arguments* out, std::string* error);

// --server, --user with --password-file, --tls-ca.
bool NatsSettingsOf(const Arguments& a, const FleetHost& host, NatsSettings* nats, std::string* error);

// --give-up-after SECONDS, when given.
bool GiveUpSecondsOf(const Arguments& a, int* seconds, std::string* error);

// "<program>: <what>" on err; the exit code of bad input, 2.
int BadInput(std::ostream& err, const std::string& program, const std::string& what);

}  // namespace Fleet
