#pragma once
// One open handle of the emulated drives (a kernel file object) and the share-mode
// rules between handles of the same file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace Emulated {

struct OpenFile {
  uint64_t fileObject = 0;
  std::filesystem::path data;   // the host file that holds the bytes (entry or stream)
  std::filesystem::path entry;  // the host entry the data belongs to
  std::u16string devicePath;
  bool isStream = false;
  bool isDirectory = false;
  uint32_t access = 0;  // kGenericRead / kGenericWrite / kDelete
  uint32_t share = 0;
  bool deleteOnCloseFlag = false;  // FILE_FLAG_DELETE_ON_CLOSE
  int fd = -1;                     // host descriptor; -1 for a directory
  uint64_t position = 0;
};

// CreateFile's share check: the new open's access must be shared by every open of the
// same data, and the new share mode must admit the access of each of them.
bool SharingAllows(const std::vector<const OpenFile*>& opens, uint32_t access, uint32_t share);

// The host advisory lock that carries a deny-write open to other host processes
// using the same folder: a writer that shares writing takes a shared lock, one that
// does not takes an exclusive lock. False when another holder's lock conflicts.
bool TakeHostLock(int fd, uint32_t access, uint32_t share);

}  // namespace Emulated
