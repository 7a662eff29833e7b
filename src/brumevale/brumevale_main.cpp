// brumevale on Linux: reads a Brumevale.data copied from a machine, exports one to
// the fleet's stream, collects the stream into PostgreSQL and answers questions
// about the whole fleet. There is no service here, so a record must be named, and
// the files the load points start are not at hand (brumevale-sim inventory IMAGE
// --verify checks a machine image's).

#include <atomic>
#include <csignal>
#include <iostream>

#include "fleet/commands/fleet_cli.h"
#include "reader/commands/reader_commands.h"
#include "reader/commands/reader_options.h"

namespace {

std::atomic<bool> stopRequested{false};
void OnSignal(int) { stopRequested = true; }

// An exporter following the service or a collector ends at its next step on
// SIGTERM or Ctrl+C, after the batch in hand is acknowledged.
int RunFleet(const std::vector<std::string>& args) {
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  Fleet::FleetHost host;
  const int code = Fleet::RunFleetCommand(args, host, stopRequested, std::cout, std::cerr);
  std::cout.flush();
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  Reader::ReaderHost host;
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << Reader::ReaderUsage(host.programName) << Fleet::FleetUsage(host.programName, true);
    return 0;
  }
  if (!args.empty() && Fleet::IsFleetCommand(args[0])) return RunFleet(args);
  if (args.empty() || !Reader::IsReaderCommand(args[0])) {
    std::cerr << "brumevale: " << (args.empty() ? "no command given" : "unknown command \"" + args[0] + "\"")
              << " (history, inventory, html, export, collect or fleet)\n";
    return Reader::kExitBadInput;
  }
  host.verifyHint =
      "--verify and --hide-signed-by check the files on the machine itself: run brumevale.exe there, "
      "or brumevale-sim inventory IMAGE --verify for a machine image";
  const int code = Reader::RunReader(args, host, std::cout, std::cerr);
  std::cout.flush();
  return code;
}
