#pragma once
// A read-only view of a PE image file (PE32 or PE32+) as it lies on disk: headers,
// section table and data directories, reached through a byte source so that a large
// executable is never read whole just to find one resource.
//
// Every read is bounds-checked; a file that is not a PE image, or whose headers
// point outside the file, simply answers "absent".

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace Emulated {

// Reads size bytes at offset into out; false when the range is not in the source.
using ByteSource = std::function<bool(uint64_t offset, std::span<uint8_t> out)>;

// The bytes of a buffer as a ByteSource (the buffer must outlive the source).
ByteSource MemorySource(std::span<const uint8_t> bytes);

struct PeDataDirectory {
  uint32_t virtualAddress = 0;
  uint32_t size = 0;
};

inline constexpr uint32_t kPeDirectoryResource = 2;
inline constexpr uint32_t kPeDirectorySecurity = 4;

class PeImage {
 public:
  // Parses the headers; nullopt when source does not hold a PE image.
  static std::optional<PeImage> Open(ByteSource source, uint64_t fileSize);

  bool IsPe32Plus() const { return pe32Plus_; }
  // The data directory at index, or nullopt when the header has fewer entries.
  std::optional<PeDataDirectory> Directory(uint32_t index) const;
  // The file offset of size bytes at rva, when they lie wholly in one section's
  // file data (or in the headers).
  std::optional<uint64_t> RvaToOffset(uint32_t rva, uint32_t size) const;
  // Reads size bytes at rva; empty optional when they are not in the file.
  std::optional<std::vector<uint8_t>> ReadRva(uint32_t rva, uint32_t size) const;
  bool Read(uint64_t offset, std::span<uint8_t> out) const;

 private:
  struct Section {
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
  };

  PeImage(ByteSource source, uint64_t fileSize) : source_(std::move(source)), fileSize_(fileSize) {}
  bool ReadHeaders();
  bool ReadOptionalHeader(uint64_t offset, uint16_t size);
  bool ReadSections(uint64_t offset, uint16_t count);

  ByteSource source_;
  uint64_t fileSize_ = 0;
  bool pe32Plus_ = false;
  uint32_t headersSize_ = 0;
  std::vector<PeDataDirectory> directories_;
  std::vector<Section> sections_;
};

// Little-endian fields of a byte buffer; 0 past its end.
uint16_t ReadLe16(std::span<const uint8_t> bytes, size_t at);
uint32_t ReadLe32(std::span<const uint8_t> bytes, size_t at);

}  // namespace Emulated
