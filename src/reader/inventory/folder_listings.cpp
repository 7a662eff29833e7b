#include "reader/inventory/folder_listings.h"

#include <vector>

#include "platform/scoped_handle.h"

namespace Reader {
namespace {

std::u16string LowerAscii(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return lower;
}

bool PlainName(std::u16string_view name) {
  if (name.empty() || name.back() == u'.' || name.back() == u' ') return false;
  for (char16_t c : name) {
    if (c < 0x20 || c >= 0x80 || c == u'*' || c == u'?' || c == u'~' || c == u':' || c == u'/') return false;
  }
  return true;
}

// The names below the drive of a plain path ("c:\a\b.exe": "a", "b.exe"), or none.
std::vector<std::u16string> PlainNames(const std::u16string& lower) {
  const bool drive = lower.size() > 3 && lower[0] >= u'a' && lower[0] <= u'z' && lower[1] == u':' && lower[2] == u'\\';
  if (!drive) return {};
  std::vector<std::u16string> names;
  for (size_t start = 3; start <= lower.size();) {
    const size_t end = std::min(lower.find(u'\\', start), lower.size());
    const std::u16string name = lower.substr(start, end - start);
    if (!PlainName(name)) return {};
    names.push_back(name);
    start = end + 1;
  }
  return names;
}

}  // namespace

bool FolderListings::MayExist(const std::u16string& path) {
  const std::u16string lower = LowerAscii(path);
  const std::vector<std::u16string> names = PlainNames(lower);
  std::u16string folder = lower.substr(0, 2);
  for (const std::u16string& name : names) {
    const Names* listing = Listing(folder);
    if (listing == nullptr) return true;
    if (!listing->contains(name)) return false;
    folder += u'\\';
    folder += name;
  }
  return true;
}

const FolderListings::Names* FolderListings::Listing(const std::u16string& folder) {
  const auto known = listings_.find(folder);
  if (known != listings_.end()) return known->second ? &*known->second : nullptr;
  std::optional<Names>& listing = listings_[folder];
  Platform::ScopedFind find;
  Platform::FindData data;
  if (files_.FindFirstFile(folder + u"\\*", find.Receive(files_), &data) != Platform::kErrorSuccess) return nullptr;
  listing.emplace();
  do {
    listing->insert(LowerAscii(data.fileName));
    if (!data.alternateFileName.empty()) listing->insert(LowerAscii(data.alternateFileName));
  } while (files_.FindNextFile(find.Get(), &data) == Platform::kErrorSuccess);
  return &*listing;
}

}  // namespace Reader
