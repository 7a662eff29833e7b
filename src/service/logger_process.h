#pragma once
// Everything one BrumevaleLogger process owns: the settings, the service log, the
// drive map, the driver collector and the engine, and the service's own state (the
// status record and handle, the stop and logger events, the logger and periodic
// threads and their run flags). BrumevaleLoggerMain creates one per process; tests
// create their own to reach the engine before the service starts. The console is
// the process's standard output, passed in by whoever hosts the process: the lines
// the service prints when it starts without the driver go there.
//
// Threads: ServiceMain runs on the dispatcher's service thread, the control handler
// on the dispatcher thread, StartLogger and PeriodicThread on threads of their own.
// The run flags are the only state those threads share besides the collector's
// queue and the status record, which has a lock of its own.

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/load_point_engine.h"
#include "intake/data_collector.h"
#include "platform/scoped_handle.h"
#include "platform/system.h"
#include "util/brumevale_settings.h"
#include "util/drive_map.h"
#include "util/vyr_log.h"

namespace Service {

inline constexpr char16_t kServiceName[] = u"Brumevale";
inline constexpr char16_t kLoggerEventName[] = u"Global\\{E5AB9899-A93A-418f-B769-2D86975B21C8}";
inline constexpr char16_t kServiceLogName[] = u"\\BrumevaleLogger_Log.txt";
inline constexpr char16_t kInstallLogName[] = u"\\BrumevaleLogger_Install_Log.txt";

class LoggerProcess {
 public:
  LoggerProcess(Platform::System& system, std::ostream& console);
  ~LoggerProcess();
  LoggerProcess(const LoggerProcess&) = delete;
  LoggerProcess& operator=(const LoggerProcess&) = delete;

  // The process entry after its arguments were read: settings, command line, exit
  // code 0 whatever happened.
  int Run(const std::vector<std::u16string>& args);

  void ServiceMain();
  // Answers kErrorSuccess for every control (registered in the extended form, so
  // that the pre-shutdown control reaches it).
  Platform::Win32Error ServiceControlHandler(uint32_t control);
  bool ReportServiceStatus(uint32_t state, uint32_t exitCode, uint32_t checkPoint,
                           uint32_t waitHint);
  void StartLogger();
  void PeriodicThread();
  void ServiceCleanup();
  void StopLogger();
  void StopPeriodicThread();

  Platform::System& System() { return system_; }
  VyrUtilities::BrumevaleSettings& Settings() { return settings_; }
  VyrUtilities::VyrLog& ServiceLog() { return serviceLog_; }
  Engine::LoadPointEngine& Engine() { return engine_; }
  Intake::DataCollector& Collector() { return collector_; }

 private:
  void RunService();
  // The one line that says the service runs without the driver, and why.
  void LogDriverless();
  // The collector's attempt at the driver's port, and its console line when it fails.
  bool ConnectDriver();
  void RunLiveSource(bool connected);
  void Install(bool withService);
  // Whether the driver's file lies in the program folder.
  bool DriverFilePresent();
  // Stop, shutdown and pre-shutdown: the first of them starts the stop.
  void BeginStop();
  // Stop pending again, one check point further on.
  void ReportStopProgress();
  // Interrogation: the current state; while stopping with its check point and hint.
  void ReportCurrentState();
  bool ReportLocked(uint32_t state, uint32_t exitCode, uint32_t checkPoint, uint32_t waitHint);

  Platform::System& system_;
  std::ostream& console_;
  VyrUtilities::BrumevaleSettings settings_;
  VyrUtilities::VyrLog serviceLog_;
  VyrUtilities::DriveMap driveMap_;
  Intake::DataCollector collector_;
  Engine::LoadPointEngine engine_;

  // The handler may answer an interrogation while the service thread reports.
  std::mutex statusMutex_;
  Platform::ServiceStatus status_;
  Platform::Handle statusHandle_ = 0;
  Platform::ScopedObject stopEvent_;
  // Created by the logger thread, signalled and closed by the service thread.
  std::atomic<Platform::Handle> loggerEvent_{0};
  std::thread loggerThread_;
  std::thread periodicThread_;
  std::atomic<uint32_t> loggerRunFlag_{0};
  std::atomic<uint32_t> periodicRunFlag_{0};
  std::atomic<bool> stopBegun_{false};
  // Set by the logger thread when the live source switched: the periodic thread
  // then runs one full rescan.
  std::atomic<bool> rescanRequested_{false};
  // Set by ServiceMain before the logger thread starts: whether the data folder holds
  // no database file of another owner.
  bool dataFilesTrusted_ = true;
};

// The program's entry: args are the command-line arguments after the program name.
int BrumevaleLoggerMain(Platform::System& system, const std::vector<std::u16string>& args,
                        std::ostream& console);

}  // namespace Service
