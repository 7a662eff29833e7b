#pragma once
// The brumevale program's commands over the record: history, inventory and html.
// Exit codes: 0 done (an empty record too), 2 bad input (one line on err, the
// database untouched), 3 the service held the database locked too long.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "reader/history/event_format.h"
#include "reader/inventory/inventory_format.h"

namespace Reader {

// What the program knows of the machine it runs on.
struct ReaderHost {
  std::string programName = "brumevale";
  // The service's own database on this machine, read when no file is named; empty
  // where there is none (Linux), and then the file is required.
  std::string ownDatabase;
  std::string computerName;  // this machine's name, shown for its own database
  AccountNames accounts;     // SID to DOMAIN\name for the listings
  // Checks the file a command line starts; null where the files are not at hand.
  std::function<FileCheck(const std::string& commandLine)> checkFile;
  std::string verifyHint;    // said when --verify is asked for and checkFile is null
};

constexpr int kExitOk = 0, kExitBadInput = 2, kExitBusy = 3;

// args: the command and its arguments, without the program's name.
int RunReader(const std::vector<std::string>& args, const ReaderHost& host, std::ostream& out,
              std::ostream& err);

}  // namespace Reader
