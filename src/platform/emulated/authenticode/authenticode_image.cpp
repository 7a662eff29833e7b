#include "platform/emulated/authenticode/authenticode_image.h"

#include <memory>

#include "platform/byte_order.h"

namespace Emulated {
namespace {

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint16_t kWinCertRevision2 = 0x0200;
constexpr uint16_t kWinCertTypePkcsSignedData = 0x0002;
constexpr uint32_t kSecurityDirectory = 4;

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

}  // namespace

std::optional<PeLayout> ReadPeLayout(std::span<const uint8_t> data) {
  if (data.size() < 0x40 || data[0] != 'M' || data[1] != 'Z') return std::nullopt;
  const size_t pe = Platform::ReadLe32(data, 0x3C);
  if (pe > data.size() || data.size() - pe < 24 + 2) return std::nullopt;
  if (Platform::ReadLe32(data, pe) != 0x00004550u) return std::nullopt;  // "PE\0\0"
  const size_t optional = pe + 24;
  const uint16_t magic = Platform::ReadLe16(data, optional);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return std::nullopt;
  const size_t countAt = optional + (magic == kPe32Magic ? 92 : 108);
  const size_t directories = countAt + 4;
  if (directories + (kSecurityDirectory + 1) * 8 > data.size()) return std::nullopt;
  if (Platform::ReadLe32(data, countAt) <= kSecurityDirectory) return std::nullopt;
  PeLayout layout;
  layout.checksumOffset = optional + 64;
  layout.securityEntryOffset = directories + kSecurityDirectory * 8;
  const size_t tableOffset = Platform::ReadLe32(data, layout.securityEntryOffset);
  const size_t tableSize = Platform::ReadLe32(data, layout.securityEntryOffset + 4);
  // A table that does not lie after the headers and inside the file is no table.
  if (tableOffset != 0 && tableSize != 0 && tableOffset >= layout.securityEntryOffset + 8 &&
      tableOffset <= data.size() && tableSize <= data.size() - tableOffset) {
    layout.tableOffset = tableOffset;
    layout.tableSize = tableSize;
  }
  return layout;
}

std::optional<std::span<const uint8_t>> PrimarySignatureBlob(std::span<const uint8_t> data,
                                                             const PeLayout& layout) {
  std::span<const uint8_t> table = data.subspan(layout.tableOffset, layout.tableSize);
  while (table.size() >= 8) {
    const uint32_t length = Platform::ReadLe32(table, 0);
    if (length < 8 || length > table.size()) return std::nullopt;
    if (Platform::ReadLe16(table, 4) == kWinCertRevision2 && Platform::ReadLe16(table, 6) == kWinCertTypePkcsSignedData)
      return table.subspan(8, length - 8);
    const size_t padded = (static_cast<size_t>(length) + 7) & ~size_t{7};  // entries are 8-byte aligned
    if (padded >= table.size()) break;
    table = table.subspan(padded);
  }
  return std::nullopt;
}

std::vector<uint8_t> AuthenticodeDigest(std::span<const uint8_t> data, const PeLayout& layout,
                                        const EVP_MD* md) {
  DigestContext context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  EVP_DigestInit_ex(context.get(), md, nullptr);
  const size_t tableEnd = layout.tableOffset + layout.tableSize;
  const size_t hashedEnd = layout.tableOffset != 0 ? layout.tableOffset : data.size();
  EVP_DigestUpdate(context.get(), data.data(), layout.checksumOffset);
  EVP_DigestUpdate(context.get(), data.data() + layout.checksumOffset + 4,
                   layout.securityEntryOffset - layout.checksumOffset - 4);
  EVP_DigestUpdate(context.get(), data.data() + layout.securityEntryOffset + 8,
                   hashedEnd - layout.securityEntryOffset - 8);
  if (layout.tableOffset != 0 && tableEnd < data.size())
    EVP_DigestUpdate(context.get(), data.data() + tableEnd, data.size() - tableEnd);
  std::vector<uint8_t> digest(EVP_MD_get_size(md));
  EVP_DigestFinal_ex(context.get(), digest.data(), nullptr);
  return digest;
}

std::vector<uint8_t> PlainDigest(std::span<const uint8_t> data, const EVP_MD* md) {
  std::vector<uint8_t> digest(EVP_MD_get_size(md));
  EVP_Digest(data.data(), data.size(), digest.data(), nullptr, md, nullptr);
  return digest;
}

}  // namespace Emulated
