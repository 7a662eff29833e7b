#pragma once
// The names in the folders that file checks walk through, each folder listed once.
// Most command lines of a large record name programs in folders of their own that
// are long gone; with the folder above them listed, such a file is known to be
// missing without a call to the file system for each. Only a plain path is
// answered ("C:\a\b.exe": a drive, then ASCII names without wildcards, 8.3 tildes,
// stream colons, dot-only names or trailing dots and spaces, which the file system
// reads in ways of its own); of anything else, and under a folder that cannot be
// listed, the answer is that it may exist.

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/file_system.h"

namespace Reader {

class FolderListings {
 public:
  explicit FolderListings(Platform::FileSystem& files) : files_(files) {}
  // False only when path is certainly not there.
  bool MayExist(const std::u16string& path);

 private:
  using Names = std::unordered_set<std::u16string>;
  // The lower-case names in folder (given in lower case), or null when it cannot be listed.
  const Names* Listing(const std::u16string& folder);

  Platform::FileSystem& files_;
  std::unordered_map<std::u16string, std::optional<Names>> listings_;
};

}  // namespace Reader
