#pragma once
// SQLite fills some times in itself (DATETIME('NOW', 'LOCALTIME')) from the clock of
// the computer it runs on. Where the machine the service watches keeps a clock of
// its own, that clock must answer instead, or the rows SQLite dates and the rows
// dated from driver entries would follow two different clocks.

#include <sqlite3.h>

#include "platform/system.h"

namespace Database {

// Makes DATETIME on this connection read "now" and the local time zone from the
// machine's clock; every other use of DATETIME answers as SQLite's own. The
// statements keep their text. True when the function was registered.
bool UseMachineClock(sqlite3* db, Platform::System& system);

}  // namespace Database
