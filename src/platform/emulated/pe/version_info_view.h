#pragma once
// Version resources of the emulated machine's files: the VS_VERSIONINFO block read
// from the PE image on the machine's drive, as GetFileVersionInfo reads it from a
// real Windows file.

#include <optional>
#include <vector>

#include "platform/file_system.h"
#include "platform/version_info.h"

namespace Emulated {

class Machine;

class VersionInfoView : public Platform::VersionInfo {
 public:
  // files resolves the process's paths (relative ones against its current folder).
  VersionInfoView(Machine& machine, Platform::FileSystem& files) : machine_(machine), files_(files) {}

  uint32_t GetFileVersionInfoSize(std::u16string_view path) override;
  Platform::Win32Error GetFileVersionInfo(std::u16string_view path, uint32_t size,
                                          std::vector<uint8_t>* block) override;
  bool VerQueryValue(std::span<const uint8_t> block, std::u16string_view subBlock,
                     std::span<const uint8_t>* value) override;

 private:
  // The file's version block, or the error GetFileVersionInfo reports.
  std::optional<std::vector<uint8_t>> ReadBlock(std::u16string_view path, Platform::Win32Error* error);

  Machine& machine_;
  Platform::FileSystem& files_;
};

}  // namespace Emulated
