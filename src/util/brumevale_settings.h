#pragma once
// The product's settings: Kelvra Security\Brumevale, no values beyond the program
// path.

#include "util/app_settings.h"

namespace VyrUtilities {

inline constexpr char16_t kBrumevaleCompany[] = u"Kelvra Security";
inline constexpr char16_t kBrumevaleGroup[] = u"";
inline constexpr char16_t kBrumevaleProduct[] = u"Brumevale";

class BrumevaleSettings : public VyrAppSettings {
 public:
  using VyrAppSettings::VyrAppSettings;

  // Initialise with the product's own names.
  void InitialiseProduct() { Initialise(kBrumevaleCompany, kBrumevaleGroup, kBrumevaleProduct); }

  bool LoadCustom(Platform::Handle) override { return true; }
  bool SaveCustom(Platform::Handle) override { return true; }
};

}  // namespace VyrUtilities
