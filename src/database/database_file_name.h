#pragma once

namespace Database {

// The name of the record file in the service's data folder. The service, the reader
// and the tools that find the record on a machine all take it from here.

inline constexpr char16_t kDatabaseFileName[] = u"Brumevale.data";

}  // namespace Database
