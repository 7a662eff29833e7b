#include "families/common/location_families.h"

#include <array>

namespace Families {

std::span<const FamilyDeclarations> LoadPointFamilies() {
  static const std::array<FamilyDeclarations, 6> families = {
      ValueLocations(),  ServiceLocations(),       BrowserLocations(),
      WinsockLocations(), StartupFolderLocations(), TaskLocations(),
  };
  return families;
}

}  // namespace Families
