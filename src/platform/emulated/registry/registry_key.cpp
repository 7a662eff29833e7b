#include "platform/emulated/registry/registry_key.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace Emulated {

bool RegistryNamesEqual(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
           return FoldRegistryChar(x) == FoldRegistryChar(y);
         });
}

bool RegistryNameLess::operator()(std::u16string_view a, std::u16string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char16_t x, char16_t y) {
                                        return FoldRegistryChar(x) < FoldRegistryChar(y);
                                      });
}

std::vector<uint8_t> RegistryStringData(std::u16string_view text) {
  return Platform::Utf16LeBytesWithNul(text);
}

std::vector<uint8_t> RegistryDwordData(uint32_t value) {
  std::vector<uint8_t> data;
  Platform::AppendLe(data, value, 4);
  return data;
}

std::u16string RegistryKey::KernelPath() const {
  std::vector<const RegistryKey*> chain;
  for (const RegistryKey* key = this; key != nullptr; key = key->parent_) chain.push_back(key);
  std::u16string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += u'\\';
    path += (*it)->name_;
  }
  return path;
}

bool RegistryKey::IsDescendantOf(const RegistryKey* ancestor) const {
  for (const RegistryKey* key = this; key != nullptr; key = key->parent_) {
    if (key == ancestor) return true;
  }
  return false;
}

std::shared_ptr<RegistryKey> RegistryKey::FindSubkey(std::u16string_view name) const {
  auto it = subkeys_.find(name);
  return it == subkeys_.end() ? nullptr : it->second;
}

const RegistryKey* RegistryKey::SubkeyAt(size_t index) const {
  if (index >= subkeys_.size()) return nullptr;
  if (cursorIndex_ > index || cursorIndex_ >= subkeys_.size()) {
    cursorIndex_ = 0;
    cursor_ = subkeys_.begin();
  }
  cursor_ = std::next(cursor_, static_cast<std::ptrdiff_t>(index - cursorIndex_));
  cursorIndex_ = index;
  return cursor_->second.get();
}

std::shared_ptr<RegistryKey> RegistryKey::AddSubkey(std::u16string_view name, bool* created) {
  auto it = subkeys_.find(name);
  *created = it == subkeys_.end();
  if (!*created) return it->second;
  auto key = std::make_shared<RegistryKey>(std::u16string(name), this);
  subkeys_.emplace(std::u16string(name), key);
  cursorIndex_ = SIZE_MAX;
  return key;
}

void RegistryKey::RemoveSubkey(std::u16string_view name) {
  auto it = subkeys_.find(name);
  if (it == subkeys_.end()) return;
  std::shared_ptr<RegistryKey> key = it->second;
  subkeys_.erase(it);
  cursorIndex_ = SIZE_MAX;
  key->MarkDeleted();
}

// Open handles may still hold the detached keys; they see the key as deleted, and
// the parent pointers are cut so that nothing reaches back into the live tree.
void RegistryKey::MarkDeleted() {
  deleted_ = true;
  parent_ = nullptr;
  for (auto& [name, child] : subkeys_) child->MarkDeleted();
  subkeys_.clear();
  cursorIndex_ = SIZE_MAX;
  values_.clear();
}

const RegistryValue* RegistryKey::FindValue(std::u16string_view name) const {
  for (const RegistryValue& value : values_) {
    if (RegistryNamesEqual(value.name, name)) return &value;
  }
  return nullptr;
}

const RegistryValue& RegistryKey::SetValue(std::u16string_view name, uint32_t type,
                                           std::vector<uint8_t> data) {
  for (RegistryValue& value : values_) {
    if (RegistryNamesEqual(value.name, name)) {
      value.type = type;
      value.data = std::move(data);
      return value;
    }
  }
  values_.push_back(RegistryValue{std::u16string(name), type, std::move(data)});
  return values_.back();
}

bool RegistryKey::RemoveValue(std::u16string_view name) {
  auto it = std::find_if(values_.begin(), values_.end(), [&](const RegistryValue& value) {
    return RegistryNamesEqual(value.name, name);
  });
  if (it == values_.end()) return false;
  values_.erase(it);
  return true;
}

}  // namespace Emulated
