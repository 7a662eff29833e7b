#include "util/registry_readers.h"

#include "platform/byte_order.h"
#include "platform/scoped_handle.h"
#include "util/registry_text.h"

namespace VyrUtilities {

namespace {

// Subkey names are read into a buffer of 260 characters, as the scanners always did
// (a key name holds at most 255).
constexpr uint32_t kNameCapacity = 260;
// The longest value name, 16,383 characters, and its terminator.
constexpr uint32_t kValueNameCapacity = 16384;
// The first data buffer of the whole-value reads, and how often they grow it.
constexpr uint32_t kFirstDataCapacity = 2048;
constexpr int kGrowAttempts = 8;

// Runs read with a growing capacity until it stops answering ERROR_MORE_DATA.
template <typename Read>
Platform::Win32Error ReadGrowing(Read read) {
  uint32_t capacity = kFirstDataCapacity;
  Platform::Win32Error result = Platform::kErrorMoreData;
  for (int attempt = 0; attempt < kGrowAttempts && result == Platform::kErrorMoreData; ++attempt) {
    uint32_t needed = 0;
    result = read(capacity, &needed);
    // The registry names the size it needs; without one (or one no larger) the
    // buffer doubles, so every try asks for more.
    capacity = needed > capacity ? needed : capacity * 2;
  }
  return result;
}

// Reads the value when its type is one of the accepted ones. The size is asked
// first so that any length is read whole.
bool QueryTyped(Platform::System& system, Platform::Handle key, std::u16string_view name,
                uint32_t accepted1, uint32_t accepted2, std::vector<uint8_t>& data) {
  Platform::Registry& registry = system.Registry();
  uint32_t type = 0;
  uint32_t size = 0;
  if (registry.QueryValue(key, name, &type, nullptr, 0, &size) != Platform::kErrorSuccess) {
    return false;
  }
  if (type != accepted1 && type != accepted2) return false;
  std::vector<uint8_t> bytes;
  if (registry.QueryValue(key, name, &type, &bytes, size, &size) != Platform::kErrorSuccess) {
    return false;
  }
  if (type != accepted1 && type != accepted2) return false;
  data = std::move(bytes);
  return true;
}

template <typename Out>
bool ReadUnder(Platform::System& system, Platform::Handle root, std::u16string_view subKey,
               std::u16string_view name, Out& out,
               bool (*read)(Platform::System&, Platform::Handle, std::u16string_view, Out&)) {
  Platform::ScopedKey key;
  if (system.Registry().OpenKey(root, subKey, Platform::kKeyRead,
                                key.Receive(system.Registry())) != Platform::kErrorSuccess) {
    return false;
  }
  return read(system, key.Get(), name, out);
}

}  // namespace

bool ReadRegistryString(Platform::System& system, Platform::Handle key, std::u16string_view name,
                        std::u16string& out) {
  std::vector<uint8_t> data;
  if (!QueryTyped(system, key, name, Platform::kRegSz, Platform::kRegExpandSz, data)) {
    // The default value of a key that has none reads as empty text.
    if (name.empty()) out.clear();
    return false;
  }
  out = CountedText(data.data(), data.size());
  return true;
}

bool ReadRegistryString(Platform::System& system, Platform::Handle root,
                        std::u16string_view subKey, std::u16string_view name,
                        std::u16string& out) {
  return ReadUnder<std::u16string>(system, root, subKey, name, out, &ReadRegistryString);
}

void AppendMultiStrings(const uint8_t* data, size_t size, std::vector<std::u16string>& list) {
  std::u16string current;
  bool afterTerminator = false;
  for (size_t i = 0; data != nullptr && i + 1 < size; i += 2) {
    char16_t c = static_cast<char16_t>(Platform::ReadLe16({data + i, 2}));
    if (c != 0) {
      current += c;
      afterTerminator = false;
      continue;
    }
    if (afterTerminator) break;
    list.push_back(std::move(current));
    current.clear();
    afterTerminator = true;
  }
}

bool ReadRegistryMultiString(Platform::System& system, Platform::Handle key,
                             std::u16string_view name, std::vector<std::u16string>& list) {
  std::vector<uint8_t> data;
  if (!QueryTyped(system, key, name, Platform::kRegMultiSz, Platform::kRegMultiSz, data)) {
    return false;
  }
  AppendMultiStrings(data.data(), data.size(), list);
  return true;
}

bool ReadRegistryMultiString(Platform::System& system, Platform::Handle root,
                             std::u16string_view subKey, std::u16string_view name,
                             std::vector<std::u16string>& list) {
  return ReadUnder<std::vector<std::u16string>>(system, root, subKey, name, list,
                                                &ReadRegistryMultiString);
}

bool ReadRegistryDword(Platform::System& system, Platform::Handle key, std::u16string_view name,
                       uint32_t& out) {
  std::vector<uint8_t> data;
  if (!QueryTyped(system, key, name, Platform::kRegDword, Platform::kRegDword, data) ||
      data.size() < 4) {
    return false;
  }
  out = Platform::ReadLe32(data);
  return true;
}

bool ReadRegistryDword(Platform::System& system, Platform::Handle root,
                       std::u16string_view subKey, std::u16string_view name, uint32_t& out) {
  return ReadUnder<uint32_t>(system, root, subKey, name, out, &ReadRegistryDword);
}

bool ReadRegistryBinary(Platform::System& system, Platform::Handle key, std::u16string_view name,
                        std::vector<uint8_t>& data) {
  return QueryTyped(system, key, name, Platform::kRegBinary, Platform::kRegBinary, data);
}

bool ReadRegistryBinary(Platform::System& system, Platform::Handle root,
                        std::u16string_view subKey, std::u16string_view name,
                        std::vector<uint8_t>& data) {
  return ReadUnder<std::vector<uint8_t>>(system, root, subKey, name, data, &ReadRegistryBinary);
}

bool WriteRegistryString(Platform::System& system, Platform::Handle key, std::u16string_view name,
                         std::u16string_view text) {
  return system.Registry().SetValue(key, name, Platform::kRegSz,
                                    Platform::Utf16LeBytesWithNul(text)) == Platform::kErrorSuccess;
}

Platform::Win32Error EnumValueWhole(Platform::Registry& registry, Platform::Handle key,
                                    uint32_t index, std::u16string* name, uint32_t* type,
                                    std::vector<uint8_t>* data) {
  return ReadGrowing([&](uint32_t capacity, uint32_t* needed) {
    return registry.EnumValue(key, index, kValueNameCapacity, name, type, data, capacity, needed);
  });
}

Platform::Win32Error QueryValueWhole(Platform::Registry& registry, Platform::Handle key,
                                     std::u16string_view name, uint32_t* type,
                                     std::vector<uint8_t>* data) {
  return ReadGrowing([&](uint32_t capacity, uint32_t* needed) {
    return registry.QueryValue(key, name, type, data, capacity, needed);
  });
}

uint32_t EnumerateSubkeys(Platform::System& system, Platform::Handle root,
                          std::u16string_view subKey, std::vector<std::u16string>& list) {
  Platform::Registry& registry = system.Registry();
  Platform::ScopedKey key;
  if (registry.OpenKey(root, subKey, Platform::kKeyRead, key.Receive(registry)) !=
      Platform::kErrorSuccess) {
    return 0;
  }
  uint32_t count = 0;
  for (uint32_t index = 0;; ++index) {
    std::u16string name;
    Platform::Win32Error error = registry.EnumKey(key.Get(), index, kNameCapacity, &name);
    if (error == Platform::kErrorNoMoreItems) break;
    // A name too long for the buffer is skipped; its siblings still count.
    if (error == Platform::kErrorMoreData) continue;
    if (error != Platform::kErrorSuccess) break;
    list.push_back(std::move(name));
    ++count;
  }
  return count;
}

std::vector<std::u16string> SubkeyNames(Platform::System& system, Platform::Handle key) {
  std::vector<std::u16string> names;
  for (uint32_t index = 0;; ++index) {
    std::u16string name;
    if (system.Registry().EnumKey(key, index, kNameCapacity, &name) !=
        Platform::kErrorSuccess) {
      break;
    }
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace VyrUtilities
