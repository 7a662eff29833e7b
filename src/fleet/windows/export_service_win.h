#pragma once
// The exporter as the service "BrumevaleExport": its own process, following the
// service's record for as long as it runs, and asking the service manager to start
// it again after a failure.

#include <atomic>
#include <functional>
#include <string>

namespace Fleet {

// Hands the process to the service manager and calls run on the service's thread
// with the stop flag its stop and shutdown controls set; run's code, when not 0
// and not after a stop, is reported as the service's own exit code, which the
// recovery actions answer with a restart. False when the process was not started
// by the service manager.
bool RunAsExportService(const std::function<int(const std::atomic<bool>& stop)>& run);

// The recovery actions of the service: restart after 5 s, 5 s and 60 s, the count
// reset after a day, also when it stops with an error of its own. True when set.
bool SetExportRecoveryActions(std::string* error);

}  // namespace Fleet
