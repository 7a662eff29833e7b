// The NATS client reads the clock through _ftime64_s for every message it publishes
// and every acknowledgement it waits for. _ftime64_s also works out the time zone,
// and under Wine that reads the zone file anew at each call, which costs the
// exporter more than half its speed there. The link hands the client's calls
// (--wrap=__imp__ftime64_s) to this one, which reads the system time alone: the
// client uses only the seconds and milliseconds of the answer, never the zone.

#include <sys/timeb.h>

#include "platform/file_time.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_text.h"

namespace {

// The epoch lies on a whole second, so the milliseconds are those of the FILETIME.
errno_t __cdecl SystemTimeOnly(struct __timeb64* now) {
  FILETIME system;
  GetSystemTimePreciseAsFileTime(&system);
  const Platform::FileTime time = Win32::FromFileTime(system);
  now->time = static_cast<__time64_t>(Platform::UnixSecondsOf(time));
  now->millitm = static_cast<unsigned short>(time / Platform::kFileTimeTicksPerMillisecond % 1000);
  now->timezone = 0;
  now->dstflag = 0;
  return 0;
}

}  // namespace

// The import address the client's calls go through, as the wrap renames it.
extern "C" errno_t(__cdecl* __wrap___imp__ftime64_s)(struct __timeb64*) = SystemTimeOnly;
