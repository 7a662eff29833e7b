#include "database/load_point_index.h"

#include <algorithm>

#include "database/sql_text.h"

namespace Database {

std::optional<std::string> LoadPointIndex::Identity(int32_t type, std::u16string_view userId,
                                                    std::u16string_view entryName) {
  if (userId.find(u'\0') != std::u16string_view::npos ||
      entryName.find(u'\0') != std::u16string_view::npos) {
    return std::nullopt;
  }
  return Identity(type, ToUtf8(userId), ToUtf8(entryName));
}

// The user ends at a NUL byte, which neither stored text holds: SQLite hands texts
// back up to their first NUL.
std::string LoadPointIndex::Identity(int32_t type, std::string_view userId,
                                     std::string_view entryName) {
  std::string identity(reinterpret_cast<const char*>(&type), sizeof type);
  identity.reserve(sizeof type + userId.size() + 1 + entryName.size());
  identity.append(userId).push_back('\0');
  identity.append(entryName);
  return identity;
}

void LoadPointIndex::Reset() {
  keys_.clear();
  identities_.clear();
  loaded_ = true;
}

void LoadPointIndex::Drop() {
  keys_.clear();
  identities_.clear();
  loaded_ = false;
}

void LoadPointIndex::Add(const std::string& identity, int32_t key) {
  if (!loaded_ || !identities_.emplace(key, identity).second) return;
  std::vector<int32_t>& keys = keys_[identity];
  keys.insert(std::upper_bound(keys.begin(), keys.end(), key), key);
}

void LoadPointIndex::Remove(int32_t key) {
  const auto found = identities_.find(key);
  if (found == identities_.end()) return;
  const auto row = keys_.find(found->second);
  if (row != keys_.end()) {
    std::erase(row->second, key);
    if (row->second.empty()) keys_.erase(row);
  }
  identities_.erase(found);
}

const std::vector<int32_t>* LoadPointIndex::Find(const std::string& identity) const {
  const auto found = keys_.find(identity);
  return found == keys_.end() ? nullptr : &found->second;
}

}  // namespace Database
