// The service's life: ServiceMain, the control handler, status reports, the logger
// and periodic threads, and the order in which everything is stopped.

#include "service/logger_process.h"

#include <cstdio>
#include <optional>
#include <ostream>
#include <system_error>

#include "service/data_file_guard.h"
#include "service/service_install.h"
#include "service/stop_progress.h"

namespace Service {

using namespace Platform;

namespace {

constexpr uint32_t kStatusWaitHint = 3000;
constexpr uint32_t kIdleSleepMilliseconds = 10;
constexpr int64_t kRescanIntervalSeconds = 300;
// Without the driver, how often its port is tried again.
constexpr int64_t kPortRetrySeconds = 60;
// Well inside the wait hint, so that a report is never late even on a busy machine.
constexpr uint32_t kStopProgressMilliseconds = 500;
// Besides the stop itself, the machine's shutdown: without these the process would
// be ended in the middle of a transaction.
constexpr uint32_t kControlsAccepted =
    kServiceAcceptStop | kServiceAcceptShutdown | kServiceAcceptPreshutdown;

bool EndsTheService(uint32_t control) {
  return control == kServiceControlStop || control == kServiceControlShutdown ||
         control == kServiceControlPreshutdown;
}

}  // namespace

LoggerProcess::LoggerProcess(Platform::System& system, std::ostream& console)
    : system_(system),
      console_(console),
      settings_(system),
      serviceLog_(system),
      driveMap_(system),
      collector_(system, driveMap_),
      engine_(system, serviceLog_, driveMap_) {}

// A process that ends with its threads still running (a failed test, a dispatcher
// that never returned) must not leave them acting through a dead object.
LoggerProcess::~LoggerProcess() {
  StopLogger();
  engine_.Shutdown();
}

void LoggerProcess::ServiceMain() {
  serviceLog_.Open(settings_.LogDirectory() + kServiceLogName, 1);
  dataFilesTrusted_ = GuardDataFiles(system_, settings_, serviceLog_);
  if (system_.Services().RegisterServiceCtrlHandlerEx(
          kServiceName, [this](uint32_t control) { return ServiceControlHandler(control); },
          &statusHandle_) != kErrorSuccess) {
    statusHandle_ = 0;
    ServiceCleanup();
    return;
  }
  {
    std::lock_guard lock(statusMutex_);
    status_.serviceType = kServiceWin32OwnProcess;
    status_.serviceSpecificExitCode = 0;
  }
  if (!ReportServiceStatus(kServiceStartPending, 0, 1, kStatusWaitHint)) {
    ServiceCleanup();
    return;
  }
  Platform::NamedObjects& objects = system_.Objects();
  if (objects.CreateEvent(true, false, u"", stopEvent_.Receive(objects), nullptr) != kErrorSuccess ||
      !ReportServiceStatus(kServiceRunning, 0, 0, 0)) {
    ServiceCleanup();
    return;
  }
  StartLogDriver(system_, serviceLog_);
  loggerRunFlag_ = 1;
  loggerThread_ = std::thread([this] { StartLogger(); });
  system_.Objects().WaitForSingleObject(stopEvent_.Get(), kInfinite);
  ServiceCleanup();
}

Win32Error LoggerProcess::ServiceControlHandler(uint32_t control) {
  if (EndsTheService(control)) {
    BeginStop();
  } else if (control != kServiceControlPause) {
    ReportCurrentState();
  }
  return kErrorSuccess;
}

// The engine hears of the stop at once, not only when the service thread tears
// down: a rescan in progress, even the first one inside the engine's start, gives
// up its pass instead of keeping the stop waiting until it ends.
void LoggerProcess::BeginStop() {
  if (stopBegun_.exchange(true)) return;  // a shutdown after a stop: under way already
  engine_.RequestStop();
  ReportServiceStatus(kServiceStopPending, 0, 1, kStatusWaitHint);
  system_.Objects().SetEvent(stopEvent_.Get());
}

void LoggerProcess::ReportStopProgress() {
  std::lock_guard lock(statusMutex_);
  ReportLocked(kServiceStopPending, 0, status_.checkPoint + 1, kStatusWaitHint);
}

// A check point must only rise while the stop is pending, so an interrogation then
// repeats it rather than resetting it.
void LoggerProcess::ReportCurrentState() {
  std::lock_guard lock(statusMutex_);
  const bool stopping = status_.currentState == kServiceStopPending;
  ReportLocked(status_.currentState, 0, stopping ? status_.checkPoint : 0,
               stopping ? status_.waitHint : 0);
}

bool LoggerProcess::ReportServiceStatus(uint32_t state, uint32_t exitCode, uint32_t checkPoint,
                                        uint32_t waitHint) {
  std::lock_guard lock(statusMutex_);
  return ReportLocked(state, exitCode, checkPoint, waitHint);
}

bool LoggerProcess::ReportLocked(uint32_t state, uint32_t exitCode, uint32_t checkPoint,
                                 uint32_t waitHint) {
  status_.controlsAccepted = state == kServiceStartPending ? 0 : kControlsAccepted;
  status_.currentState = state;
  status_.win32ExitCode = exitCode;
  status_.checkPoint = checkPoint;
  status_.waitHint = waitHint;
  return system_.Services().SetServiceStatus(statusHandle_, status_) == kErrorSuccess;
}

// A departure from the documented start-up, which ends the logger thread when the
// driver's port cannot be connected and so leaves the service running without
// recording anything: the driver cannot be installed on most machines. The service
// records without it instead (change notifications and rescans, no process known),
// tries the port again every minute, and moves between the two sources as the
// driver comes and goes, without a restart.
void LoggerProcess::StartLogger() {
  serviceLog_.WriteHeader(u"StartLogger");
  Handle event = 0;
  if (system_.Objects().CreateEvent(false, false, kLoggerEventName, &event, nullptr) ==
      kErrorSuccess) {
    loggerEvent_ = event;
  }
  const bool connected = ConnectDriver();
  if (!connected) {
    console_ << "StartLogger: Failed to initialize driver connection.\n" << std::flush;
    serviceLog_.Write(u"StartLogger: Failed to initialize driver connection.", 1, 0, 0);
  }
  // A database or journal of another owner that could not be moved aside is never
  // opened: the service runs on without recording anything.
  if (!dataFilesTrusted_) {
    serviceLog_.Write(u"StartLogger: database not opened.", 1, 0, 0);
    collector_.CloseDriverPort();
    return;
  }
  if (!connected) {
    LogDriverless();
    engine_.WatchChangesFromStart();
  }
  engine_.Initialise(&collector_, &settings_);
  periodicRunFlag_ = 1;
  try {
    periodicThread_ = std::thread([this] { PeriodicThread(); });
  } catch (const std::system_error&) {
  }
  if (periodicThread_.joinable()) RunLiveSource(connected);
  StopPeriodicThread();
  engine_.StopNotifications();
  collector_.CloseDriverPort();
}

bool LoggerProcess::ConnectDriver() {
  if (collector_.ConnectDriverPort()) return true;
  console_ << "ERROR: Cannot open BrumevaleLookoutPort\n";
  return false;
}

void LoggerProcess::LogDriverless() {
  char code[16];
  std::snprintf(code, sizeof(code), "0x%08X", static_cast<uint32_t>(collector_.LastConnectResult()));
  std::u16string line = u"StartLogger: running without the driver (port error ";
  for (const char* c = code; *c != 0; ++c) line.push_back(static_cast<char16_t>(*c));
  line += u"): changes are seen through change notifications and rescans, with no process "
          u"known; the port is tried again every 60 seconds.";
  serviceLog_.Write(line, 1, 0, 0);
}

// The live source until the logger is told to stop: the driver's port while it is
// connected, else the change notifications with a new attempt at the port every
// minute. At each switch, once the new source is live, the periodic thread runs one
// full rescan for what changed while neither source was watching.
void LoggerProcess::RunLiveSource(bool connected) {
  Environment& environment = system_.Environment();
  int64_t lastAttempt = environment.Time();
  while (loggerRunFlag_ != 0) {
    if (connected) {
      const int32_t polled = collector_.PollDriver();
      if (polled > 0) continue;
      if (polled == 0) {
        environment.Sleep(kIdleSleepMilliseconds);
        continue;
      }
      // The stop order stops the driver first: its port failing then is the end.
      if (stopBegun_ || loggerRunFlag_ == 0) break;
      collector_.CloseDriverPort();
      serviceLog_.Write(u"StartLogger: the driver's port failed; recording continues without the driver.", 1, 0, 0);
      engine_.StartNotifications();
      rescanRequested_ = true;
      connected = false;
      lastAttempt = environment.Time();
      continue;
    }
    environment.Sleep(kIdleSleepMilliseconds);
    if (environment.Time() - lastAttempt < kPortRetrySeconds) continue;
    lastAttempt = environment.Time();
    if (!ConnectDriver()) continue;
    serviceLog_.Write(u"StartLogger: connected to the driver; live events come from it again.", 1, 0, 0);
    engine_.StopNotifications();
    rescanRequested_ = true;
    connected = true;
  }
}

// The rescan interval runs on the machine's clock, so that time moved forward on
// an emulated machine triggers it like time that passed.
void LoggerProcess::PeriodicThread() {
  Environment& environment = system_.Environment();
  int64_t lastRescan = environment.Time();
  do {
    const int32_t handled = engine_.Dispatch();
    if (handled < 0) break;
    const int32_t reread = engine_.ReReadNotified();
    if (handled == 0 && reread == 0) environment.Sleep(kIdleSleepMilliseconds);
    if (rescanRequested_.exchange(false) ||
        environment.Time() - lastRescan >= kRescanIntervalSeconds) {
      engine_.Rescan(0);
      lastRescan = environment.Time();
    }
  } while (periodicRunFlag_ != 0);
}

void LoggerProcess::StopPeriodicThread() {
  periodicRunFlag_ = 0;
  if (periodicThread_.joinable()) periodicThread_.join();
}

// The engine goes down here, after both loops have ended, rather than with the
// process: its watcher threads and the database then end in a known order.
// A stop is reported as pending more than once, on purpose: the teardown may
// outlast the wait hint (a rescan rolling back, the dispatch pass under way), and
// the manager takes a stop pending whose check point rises as progress, where one
// lone report would let it give the service up as hung.
void LoggerProcess::ServiceCleanup() {
  std::optional<StopProgress> progress;
  if (stopBegun_ && statusHandle_ != 0) {
    try {
      progress.emplace(kStopProgressMilliseconds, [this] { ReportStopProgress(); });
    } catch (const std::system_error&) {
    }
  }
  // Closed first, before the logger and the engine stop, as the service always has.
  stopEvent_.Reset();
  StopLogDriver(system_);
  StopLogger();
  engine_.Shutdown();
  progress.reset();
  if (statusHandle_ != 0) ReportServiceStatus(kServiceStopped, 0, 0, 0);
}

void LoggerProcess::StopLogger() {
  engine_.RequestStop();
  if (const Handle event = loggerEvent_.exchange(0); event != 0) {
    system_.Objects().SetEvent(event);
    system_.Objects().CloseHandle(event);
  }
  loggerRunFlag_ = 0;
  if (loggerThread_.joinable()) loggerThread_.join();
}

}  // namespace Service
