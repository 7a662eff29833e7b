#include "platform/emulated/pe/version_info_view.h"

#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/emulated/files/file_store.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/pe/pe_resources.h"
#include "platform/emulated/pe/version_block.h"

namespace Emulated {
namespace {

// ERROR_RESOURCE_TYPE_NOT_FOUND: what Windows reports for a file without the block.
constexpr Platform::Win32Error kErrorResourceTypeNotFound = 1813;
// The longest path the wide Win32 calls take.
constexpr uint32_t kFullPathCapacity = 32768;

// Reads through one open host stream, seeking for each piece, so that a large
// executable costs only its headers and its resource directory.
ByteSource HostFileSource(std::shared_ptr<std::ifstream> file) {
  return [file](uint64_t offset, std::span<uint8_t> out) {
    file->clear();
    file->seekg(static_cast<std::streamoff>(offset));
    file->read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return file->gcount() == static_cast<std::streamsize>(out.size());
  };
}

}  // namespace

std::optional<std::vector<uint8_t>> VersionInfoView::ReadBlock(std::u16string_view path,
                                                               Platform::Win32Error* error) {
  *error = Platform::kErrorFileNotFound;
  // GetFileVersionInfo maps the file for reading: a file another process holds open
  // without sharing reads has no version block to give.
  std::u16string full;
  if (files_.GetFullPathName(path, kFullPathCapacity, &full, nullptr, nullptr) != Platform::kErrorSuccess)
    return std::nullopt;
  if (const Platform::Win32Error refused = machine_.FileState().CheckReadSharing(full)) {
    *error = refused;
    return std::nullopt;
  }
  const auto host = files_.HostPath(path);
  std::error_code ec;
  if (!host || !std::filesystem::is_regular_file(*host, ec)) return std::nullopt;
  const uint64_t size = std::filesystem::file_size(*host, ec);
  auto file = std::make_shared<std::ifstream>(*host, std::ios::binary);
  if (ec || !*file) return std::nullopt;
  *error = kErrorResourceTypeNotFound;
  const auto image = PeImage::Open(HostFileSource(file), size);
  if (!image) return std::nullopt;
  // The machine has one language: its user interface speaks the system default.
  const uint16_t language = machine_.Config().systemDefaultLangId;
  auto block = FindVersionResource(*image, {language, language});
  if (block) *error = Platform::kErrorSuccess;
  return block;
}

uint32_t VersionInfoView::GetFileVersionInfoSize(std::u16string_view path) {
  Platform::Win32Error error = Platform::kErrorSuccess;
  const auto block = ReadBlock(path, &error);
  return block ? static_cast<uint32_t>(block->size()) : 0;
}

Platform::Win32Error VersionInfoView::GetFileVersionInfo(std::u16string_view path, uint32_t size,
                                                         std::vector<uint8_t>* block) {
  Platform::Win32Error error = Platform::kErrorSuccess;
  auto found = ReadBlock(path, &error);
  if (!found) return error;
  if (found->size() > size) found->resize(size);
  *block = std::move(*found);
  return Platform::kErrorSuccess;
}

bool VersionInfoView::VerQueryValue(std::span<const uint8_t> block, std::u16string_view subBlock,
                                    std::span<const uint8_t>* value) {
  return QueryVersionValue(block, subBlock, value);
}

}  // namespace Emulated
