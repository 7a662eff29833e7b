// brumevale-sim: runs the logger service on a simulated Windows machine.

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_commands.h"

namespace {

constexpr char kUsage[] =
    "usage: brumevale-sim run IMAGE [--scenario FILE]\n"
    "       brumevale-sim report IMAGE [--json]\n"
    "       brumevale-sim inventory IMAGE [--format text|json|csv] [--verify] [--hide-signed-by NAME]\n";

int Usage() {
  std::cerr << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  if (args[0] == "run") {
    std::optional<std::string> scenario;
    if (args.size() == 4 && args[2] == "--scenario") scenario = args[3];
    else if (args.size() != 2) return Usage();
    return Sim::RunImage(args[1], scenario, std::cout, std::cerr);
  }
  if (args[0] == "report") {
    const bool json = args.size() == 3 && args[2] == "--json";
    if (args.size() != 2 && !json) return Usage();
    return Sim::ReportImage(args[1], json, std::cout, std::cerr);
  }
  if (args[0] == "inventory") {
    return Sim::InventoryImage(args[1], std::vector<std::string>(args.begin() + 2, args.end()), std::cout,
                               std::cerr);
  }
  return Usage();
}
