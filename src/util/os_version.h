#pragma once
// The operating-system version as one ordinal number.

#include <cstdint>

#include "platform/system.h"

namespace VyrUtilities {

// 0 unknown; 2-4 the 9x family; 5 Windows 2000; 6 XP; 7 XP x64; 8 Server 2003;
// 9/10 Vista/Server 2008; 11/16 Windows 7/Server 2008 R2; 12/17 Windows 8/Server
// 2012; 15/18 Windows 8.1/Server 2012 R2; 14/19 Windows 10 and later/Server 2016 and
// later. The numbers are not in release order: compare with care.
uint32_t GetOsVersionOrdinal(Platform::System& system);

}  // namespace VyrUtilities
