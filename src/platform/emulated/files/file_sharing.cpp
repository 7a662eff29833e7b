#include "platform/emulated/files/file_sharing.h"

#include <sys/file.h>

#include "platform/win32_types.h"

namespace Emulated {

using namespace Platform;
namespace {

constexpr uint32_t kShareChecked = kGenericRead | kGenericWrite | kDelete;

// Each access right pairs with the share flag that admits it.
uint32_t SharesNeededFor(uint32_t access) {
  uint32_t needed = 0;
  if (access & kGenericRead) needed |= kFileShareRead;
  if (access & kGenericWrite) needed |= kFileShareWrite;
  if (access & kDelete) needed |= kFileShareDelete;
  return needed;
}

}  // namespace

bool SharingAllows(const std::vector<const OpenFile*>& opens, uint32_t access, uint32_t share) {
  // An open that reads, writes or deletes nothing (attributes only) never conflicts.
  if ((access & kShareChecked) == 0) return true;
  for (const OpenFile* open : opens) {
    if ((open->access & kShareChecked) == 0) continue;
    const uint32_t weNeed = SharesNeededFor(access);
    const uint32_t theyNeed = SharesNeededFor(open->access);
    if ((open->share & weNeed) != weNeed) return false;
    if ((share & theyNeed) != theyNeed) return false;
  }
  return true;
}

bool TakeHostLock(int fd, uint32_t access, uint32_t share) {
  if (fd < 0 || (access & kGenericWrite) == 0) return true;
  const int mode = (share & kFileShareWrite) ? LOCK_SH : LOCK_EX;
  return flock(fd, mode | LOCK_NB) == 0;
}

}  // namespace Emulated
