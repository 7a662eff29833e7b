#include "platform/emulated/registry_view.h"

#include "platform/emulated/machine.h"

namespace Emulated {

using namespace Platform;

Win32Error RegistryView::OpenKey(Handle parent, std::u16string_view subKey, uint32_t access, Handle* key) { return Platform::kErrorNotSupported; }

Win32Error RegistryView::CreateKey(Handle parent, std::u16string_view subKey, uint32_t options, uint32_t access, Handle* key, uint32_t* disposition) { return Platform::kErrorNotSupported; }

Win32Error RegistryView::CloseKey(Handle key) { return Platform::kErrorNotSupported; }

Win32Error RegistryView::EnumKey(Handle key, uint32_t index, uint32_t nameCapacity, std::u16string* name) { return Platform::kErrorNotSupported; }

Win32Error RegistryView::EnumValue(Handle key, uint32_t index, uint32_t nameCapacity, std::u16string* name, uint32_t* type, std::vector<uint8_t>* data, uint32_t dataCapacity, uint32_t* dataSize) { return Platform::kErrorNotSupported; }

Win32Error RegistryView::QueryValue(Handle key, std::u16string_view name, uint32_t* type, std::vector<uint8_t>* data, uint32_t dataCapacity, uint32_t* dataSize) { return Platform::kErrorNotSupported; }

Win32Error RegistryView::SetValue(Handle key, std::u16string_view name, uint32_t type, std::span<const uint8_t> data) { return Platform::kErrorNotSupported; }

Win32Error RegistryView::DeleteValue(Handle key, std::u16string_view name) { return Platform::kErrorNotSupported; }

Win32Error RegistryView::DeleteKey(Handle parent, std::u16string_view subKey) { return Platform::kErrorNotSupported; }

Win32Error RegistryView::DeleteTree(Handle parent, std::u16string_view subKey) { return Platform::kErrorNotSupported; }

Win32Error RegistryView::QueryInfoKey(Handle key, uint32_t* subKeys, uint32_t* maxSubKeyLength, uint32_t* values, uint32_t* maxValueNameLength, uint32_t* maxValueLength) { return Platform::kErrorNotSupported; }

Win32Error RegistryView::NotifyChangeKeyValue(Handle key, bool watchSubtree, uint32_t filter, Handle event) { return Platform::kErrorNotSupported; }

}  // namespace Emulated
