#include "platform/win32/registry_win32.h"

#include <algorithm>
#include <vector>

#include "platform/win32/win32_text.h"

namespace Win32 {
namespace {

using Platform::Win32Error;

// Scratch room for the name and data of a value read by RegEnumValue or
// RegQueryValueEx, kept per thread: the rescan reads a key's values one call each
// with room for the longest name (32 KiB), and a fresh zeroed buffer per value cost
// as much as the call itself on a key of thousands of values. Room beyond
// kKeptScratchBytes (a rare long value) is given back after the call.
constexpr size_t kKeptScratchBytes = 64 * 1024;

template <typename T>
class Scratch {
 public:
  T* Take(size_t count) {
    std::vector<T>& kept = Kept();
    if (count * sizeof(T) > kKeptScratchBytes) {
      once_.resize(count);
      return once_.data();
    }
    if (kept.size() < count) kept.resize(count);
    return kept.data();
  }

 private:
  static std::vector<T>& Kept() {
    thread_local std::vector<T> kept;
    return kept;
  }
  std::vector<T> once_;
};

// The data of a value read by RegEnumValue / RegQueryValueEx. The call writes into
// a buffer of the caller's capacity; the caller's outputs change only on success,
// except the size, which Win32 also reports when the data did not fit.
struct ValueRead {
  DWORD type = 0;
  DWORD size = 0;
  Scratch<BYTE> room;  // before data, which it provides
  BYTE* data = nullptr;

  explicit ValueRead(bool wantData, uint32_t capacity)
      : size(capacity), data(wantData ? room.Take(std::max<uint32_t>(capacity, 1)) : nullptr) {}
  BYTE* Data() { return data; }
  void Deliver(Win32Error result, uint32_t* type, std::vector<uint8_t>* out,
               uint32_t* dataSize) {
    if (result == ERROR_SUCCESS) {
      if (type != nullptr) *type = this->type;
      if (out != nullptr) out->assign(data, data + size);
    }
    if ((result == ERROR_SUCCESS || result == ERROR_MORE_DATA) && dataSize != nullptr) {
      *dataSize = size;
    }
  }
};

}  // namespace

Win32Error Registry::OpenKey(Handle parent, std::u16string_view subKey, uint32_t access,
                             Handle* key) {
  HKEY opened = nullptr;
  const LONG result = RegOpenKeyExW(ToHkey(parent), Wide(subKey).c_str(), 0, access, &opened);
  if (result == ERROR_SUCCESS) *key = reinterpret_cast<Handle>(opened);
  return static_cast<Win32Error>(result);
}

Win32Error Registry::CreateKey(Handle parent, std::u16string_view subKey, uint32_t options,
                               uint32_t access, Handle* key, uint32_t* disposition) {
  HKEY created = nullptr;
  DWORD how = 0;
  const LONG result = RegCreateKeyExW(ToHkey(parent), Wide(subKey).c_str(), 0, nullptr, options,
                                      access, nullptr, &created, &how);
  if (result != ERROR_SUCCESS) return static_cast<Win32Error>(result);
  *key = reinterpret_cast<Handle>(created);
  if (disposition != nullptr) *disposition = how;
  return ERROR_SUCCESS;
}

// The predefined roots stay open for the life of the process.
Win32Error Registry::CloseKey(Handle key) {
  if (Platform::IsPredefinedKey(key)) return ERROR_SUCCESS;
  return static_cast<Win32Error>(RegCloseKey(ToHkey(key)));
}

Win32Error Registry::EnumKey(Handle key, uint32_t index, uint32_t nameCapacity,
                             std::u16string* name) {
  std::wstring buffer(std::max<uint32_t>(nameCapacity, 1), L'\0');
  DWORD length = nameCapacity;
  const LONG result = RegEnumKeyExW(ToHkey(key), index, buffer.data(), &length, nullptr, nullptr,
                                    nullptr, nullptr);
  if (result == ERROR_SUCCESS) *name = FromWide(buffer.data(), length);
  return static_cast<Win32Error>(result);
}

Win32Error Registry::EnumValue(Handle key, uint32_t index, uint32_t nameCapacity,
                               std::u16string* name, uint32_t* type, std::vector<uint8_t>* data,
                               uint32_t dataCapacity, uint32_t* dataSize) {
  Scratch<wchar_t> room;
  wchar_t* buffer = room.Take(std::max<uint32_t>(nameCapacity, 1));
  DWORD length = nameCapacity;
  ValueRead read(data != nullptr, dataCapacity);
  const LONG result = RegEnumValueW(ToHkey(key), index, buffer, &length, nullptr, &read.type,
                                    read.Data(), &read.size);
  if (result == ERROR_SUCCESS) *name = FromWide(buffer, length);
  read.Deliver(static_cast<Win32Error>(result), type, data, dataSize);
  return static_cast<Win32Error>(result);
}

Win32Error Registry::QueryValue(Handle key, std::u16string_view name, uint32_t* type,
                                std::vector<uint8_t>* data, uint32_t dataCapacity,
                                uint32_t* dataSize) {
  ValueRead read(data != nullptr, dataCapacity);
  const LONG result = RegQueryValueExW(ToHkey(key), Wide(name).c_str(), nullptr, &read.type,
                                       read.Data(), &read.size);
  read.Deliver(static_cast<Win32Error>(result), type, data, dataSize);
  return static_cast<Win32Error>(result);
}

Win32Error Registry::SetValue(Handle key, std::u16string_view name, uint32_t type,
                              std::span<const uint8_t> data) {
  return static_cast<Win32Error>(RegSetValueExW(ToHkey(key), Wide(name).c_str(), 0, type,
                                                data.data(), static_cast<DWORD>(data.size())));
}

Win32Error Registry::DeleteValue(Handle key, std::u16string_view name) {
  return static_cast<Win32Error>(RegDeleteValueW(ToHkey(key), Wide(name).c_str()));
}

Win32Error Registry::DeleteKey(Handle parent, std::u16string_view subKey) {
  return static_cast<Win32Error>(RegDeleteKeyW(ToHkey(parent), Wide(subKey).c_str()));
}

// RegDeleteTree with a null subkey empties the key itself and keeps it.
Win32Error Registry::DeleteTree(Handle parent, std::u16string_view subKey) {
  const std::wstring wide = Wide(subKey);
  return static_cast<Win32Error>(RegDeleteTreeW(ToHkey(parent), WideOrNull(wide)));
}

Win32Error Registry::QueryInfoKey(Handle key, uint32_t* subKeys, uint32_t* maxSubKeyLength,
                                  uint32_t* values, uint32_t* maxValueNameLength,
                                  uint32_t* maxValueLength) {
  DWORD counts[5] = {};
  const LONG result = RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &counts[0],
                                       &counts[1], nullptr, &counts[2], &counts[3], &counts[4],
                                       nullptr, nullptr);
  if (result != ERROR_SUCCESS) return static_cast<Win32Error>(result);
  uint32_t* outputs[5] = {subKeys, maxSubKeyLength, values, maxValueNameLength, maxValueLength};
  for (int i = 0; i < 5; ++i) {
    if (outputs[i] != nullptr) *outputs[i] = counts[i];
  }
  return ERROR_SUCCESS;
}

Win32Error Registry::NotifyChangeKeyValue(Handle key, bool watchSubtree, uint32_t filter,
                                          Handle event) {
  return static_cast<Win32Error>(
      RegNotifyChangeKeyValue(ToHkey(key), watchSubtree, filter, ToHandle(event), TRUE));
}

}  // namespace Win32
