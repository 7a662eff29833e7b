#pragma once
// The registry as the core reaches it: RegOpenKeyEx, RegCreateKeyEx, RegEnumKeyEx,
// RegEnumValue, RegQueryValueEx, RegSetValueEx, RegDeleteValue, RegDeleteKey,
// RegDeleteTree, RegQueryInfoKey and RegNotifyChangeKeyValue.
//
// Contract, shared by every backend (the contract suite in tests/platform checks it):
// - Keys are handles; the predefined roots kHkeyLocalMachine, kHkeyUsers,
//   kHkeyCurrentUser and kHkeyClassesRoot are always open and never closed.
// - Subkey paths use "\" between names. Key and value names compare ignoring the
//   case of A to Z only and are returned as they were written.
// - Subkeys enumerate in case-insensitive sorted order; values in creation order.
// - A name capacity counts characters including the terminator: a name of N
//   characters needs a capacity of N + 1, else the call answers kErrorMoreData.
//   A data capacity counts bytes: data of N bytes fits a capacity of N.
// - On failure the output arguments are left untouched.
// - Every call is safe from any thread.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace Platform {

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyEx. An empty subKey opens a new handle to parent itself.
  virtual Win32Error OpenKey(Handle parent, std::u16string_view subKey, uint32_t access,
                             Handle* key) = 0;
  // RegCreateKeyEx: opens the key, creating every missing level. disposition (may be
  // null) receives kRegCreatedNewKey or kRegOpenedExistingKey.
  virtual Win32Error CreateKey(Handle parent, std::u16string_view subKey, uint32_t options,
                               uint32_t access, Handle* key, uint32_t* disposition) = 0;
  virtual Win32Error CloseKey(Handle key) = 0;

  // RegEnumKeyEx: the index-th subkey name.
  virtual Win32Error EnumKey(Handle key, uint32_t index, uint32_t nameCapacity,
                             std::u16string* name) = 0;
  // RegEnumValue: the index-th value. With data null only the type and the size
  // (dataSize) are returned, as RegEnumValue does with a null data pointer.
  virtual Win32Error EnumValue(Handle key, uint32_t index, uint32_t nameCapacity,
                               std::u16string* name, uint32_t* type,
                               std::vector<uint8_t>* data, uint32_t dataCapacity,
                               uint32_t* dataSize) = 0;
  // RegQueryValueEx. An empty name is the default value. With data null only the
  // type and size are returned. Data longer than dataCapacity gives kErrorMoreData
  // and the needed size in dataSize.
  virtual Win32Error QueryValue(Handle key, std::u16string_view name, uint32_t* type,
                                std::vector<uint8_t>* data, uint32_t dataCapacity,
                                uint32_t* dataSize) = 0;
  // RegSetValueEx: the bytes are stored as given, with their type.
  virtual Win32Error SetValue(Handle key, std::u16string_view name, uint32_t type,
                              std::span<const uint8_t> data) = 0;
  virtual Win32Error DeleteValue(Handle key, std::u16string_view name) = 0;
  // RegDeleteKey: only a key without subkeys can be deleted (else kErrorAccessDenied).
  virtual Win32Error DeleteKey(Handle parent, std::u16string_view subKey) = 0;
  // RegDeleteTree: the key and everything below it.
  virtual Win32Error DeleteTree(Handle parent, std::u16string_view subKey) = 0;
  // RegQueryInfoKey; each output may be null. Lengths are in characters without the
  // terminator, value data lengths in bytes.
  virtual Win32Error QueryInfoKey(Handle key, uint32_t* subKeys, uint32_t* maxSubKeyLength,
                                  uint32_t* values, uint32_t* maxValueNameLength,
                                  uint32_t* maxValueLength) = 0;
  // RegNotifyChangeKeyValue, asynchronous form: signals event (a NamedObjects event)
  // once when a change that passes filter happens to key (or below it, with
  // watchSubtree). One-shot: the caller re-arms after each signal. Closing the key
  // also signals the event, as Windows does.
  virtual Win32Error NotifyChangeKeyValue(Handle key, bool watchSubtree, uint32_t filter,
                                          Handle event) = 0;
};

}  // namespace Platform
