#pragma once
// Facilities whose emulation has not been built yet: version resources. Each answers
// every call with a failure (kErrorNotSupported, or "no version resource"), so that code
// reaching them takes its documented failure path instead of a made-up answer.

#include "platform/version_info.h"

namespace Emulated {

class PendingVersionInfo : public Platform::VersionInfo {
 public:
  uint32_t GetFileVersionInfoSize(std::u16string_view) override;
  Platform::Win32Error GetFileVersionInfo(std::u16string_view, uint32_t, std::vector<uint8_t>*) override;
  bool VerQueryValue(std::span<const uint8_t>, std::u16string_view, std::span<const uint8_t>*) override;
};

}  // namespace Emulated
