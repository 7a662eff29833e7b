// The fleet commands as a program of their own, for Linux hosts that collect and query.
#include <csignal>
#include <iostream>

#include "fleet/fleet_cli.h"

namespace {
std::atomic<bool> stopRequested{false};
void OnSignal(int) { stopRequested = true; }
}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  std::vector<std::string> args(argv + 1, argv + argc);
  Fleet::FleetHost host;
  host.programName = "brumevale";
  if (args.empty() || !Fleet::IsFleetCommand(args[0])) {
    std::cerr << "usage:\n" << Fleet::FleetUsage(host.programName);
    return 2;
  }
  return Fleet::RunFleetCommand(args, host, stopRequested, std::cout, std::cerr);
}
