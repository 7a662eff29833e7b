// brumevale-sim: runs the logger service on a simulated Windows machine.

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_commands.h"

namespace {

constexpr char kUsage[] =
    "usage: brumevale-sim run IMAGE [--scenario FILE] [--driverless]\n"
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
    bool driverless = false;
    for (size_t i = 2; i < args.size(); ++i) {
      if (args[i] == "--scenario" && i + 1 < args.size() && !scenario) {
        scenario = args[++i];
      } else if (args[i] == "--driverless" && !driverless) {
        driverless = true;
      } else {
        return Usage();
      }
    }
    return Sim::RunImage(args[1], scenario, driverless, std::cout, std::cerr);
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
