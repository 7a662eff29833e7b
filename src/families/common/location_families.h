#pragma once
// The families' declarations of their load-point locations, each in the family's own
// folder, and the list of all of them.

#include <span>

#include "families/common/location_declaration.h"

namespace Families {

// The rescan steps of the families that read locations of the table.
std::span<const ScanStepDeclaration> ValueScanSteps();
std::span<const ScanStepDeclaration> BrowserScanSteps();
std::span<const ScanStepDeclaration> WinsockScanSteps();

FamilyDeclarations ValueLocations();
FamilyDeclarations ServiceLocations();
FamilyDeclarations BrowserLocations();
FamilyDeclarations WinsockLocations();
FamilyDeclarations StartupFolderLocations();
FamilyDeclarations TaskLocations();

// Every family that keeps load points.
std::span<const FamilyDeclarations> LoadPointFamilies();

}  // namespace Families
