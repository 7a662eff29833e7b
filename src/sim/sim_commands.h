#pragma once
// The two commands of brumevale-sim. Both return the process exit code.

#include <iosfwd>
#include <optional>
#include <string>

namespace Sim {

// Boots the image, installs and starts the service, plays the scenario, lets the
// service handle everything, stops it and saves the image.
int RunImage(const std::string& folder, const std::optional<std::string>& scenarioPath,
             std::ostream& out, std::ostream& err);

// Prints the change history of the image's database.
int ReportImage(const std::string& folder, bool json, std::ostream& out, std::ostream& err);

}  // namespace Sim
