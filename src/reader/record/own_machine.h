#pragma once
// Where the service keeps its database on the machine the reader runs on, and the
// machine's name, found as the service finds them but without creating anything.

#include <string>

#include "platform/system.h"
#include "reader/record/records.h"

namespace Reader {

// The common application-data folder's Kelvra Security\Brumevale\Brumevale.data.
std::u16string ServiceDatabasePath(Platform::System& system);
// The account name ("DOMAIN\name") of every user profile on the machine, resolved
// here: a SID the record's UserNames lacks is still named.
AccountNames MachineAccounts(Platform::System& system);
// GetComputerName, empty when it fails.
std::u16string MachineName(Platform::System& system);

}  // namespace Reader
