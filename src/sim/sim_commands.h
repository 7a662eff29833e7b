#pragma once
// The commands of brumevale-sim. Both return the process exit code.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace Sim {

// Boots the image, installs and starts the service, plays the scenario, lets the
// service handle everything, stops it and saves the image. driverless boots the
// machine without the minifilter, whatever its manifest says.
int RunImage(const std::string& folder, const std::optional<std::string>& scenarioPath, bool driverless,
             std::ostream& out, std::ostream& err);

// Prints the change history of the image's database.
int ReportImage(const std::string& folder, bool json, std::ostream& out, std::ostream& err);

// brumevale inventory over the image's database; --verify checks the image's own
// files against its trust stores. options: what follows IMAGE on the command line.
int InventoryImage(const std::string& folder, const std::vector<std::string>& options, std::ostream& out,
                   std::ostream& err);

}  // namespace Sim
