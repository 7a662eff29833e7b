// The service's life: ServiceMain, the control handler, status reports, the logger
// and periodic threads, and the order in which everything is stopped.

#include "service/logger_process.h"

#include <cstdio>
#include <system_error>

#include "service/data_file_guard.h"
#include "service/service_install.h"

using namespace Platform;

namespace {

constexpr uint32_t kStatusWaitHint = 3000;
constexpr uint32_t kIdleSleepMilliseconds = 10;
constexpr int64_t kRescanIntervalSeconds = 300;

}  // namespace

LoggerProcess::LoggerProcess(Platform::System& system)
    : system_(system),
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
  if (system_.Services().RegisterServiceCtrlHandler(
          kServiceName, [this](uint32_t control) { ServiceControlHandler(control); },
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
  if (system_.Objects().CreateEvent(true, false, u"", &stopEvent_, nullptr) != kErrorSuccess ||
      !ReportServiceStatus(kServiceRunning, 0, 0, 0)) {
    ServiceCleanup();
    return;
  }
  StartLogDriver(system_, serviceLog_);
  loggerRunFlag_ = 1;
  loggerThread_ = std::thread([this] { StartLogger(); });
  system_.Objects().WaitForSingleObject(stopEvent_, kInfinite);
  ServiceCleanup();
}

void LoggerProcess::ServiceControlHandler(uint32_t control) {
  if (control == kServiceControlStop) {
    ReportServiceStatus(kServiceStopPending, 0, 1, kStatusWaitHint);
    system_.Objects().SetEvent(stopEvent_);
  } else if (control != kServiceControlPause) {
    uint32_t state = 0;
    {
      std::lock_guard lock(statusMutex_);
      state = status_.currentState;
    }
    ReportServiceStatus(state, 0, 0, 0);
  }
}

bool LoggerProcess::ReportServiceStatus(uint32_t state, uint32_t exitCode, uint32_t checkPoint,
                                        uint32_t waitHint) {
  std::lock_guard lock(statusMutex_);
  status_.controlsAccepted = state == kServiceStartPending ? 0 : kServiceAcceptStop;
  status_.currentState = state;
  status_.win32ExitCode = exitCode;
  status_.checkPoint = checkPoint;
  status_.waitHint = waitHint;
  return system_.Services().SetServiceStatus(statusHandle_, status_) == kErrorSuccess;
}

void LoggerProcess::StartLogger() {
  serviceLog_.WriteHeader(u"StartLogger");
  Handle event = 0;
  if (system_.Objects().CreateEvent(false, false, kLoggerEventName, &event, nullptr) ==
      kErrorSuccess) {
    loggerEvent_ = event;
  }
  if (!collector_.ConnectDriverPort()) {
    std::fputs("StartLogger: Failed to initialize driver connection.\n", stdout);
    std::fflush(stdout);
    serviceLog_.Write(u"StartLogger: Failed to initialize driver connection.", 1, 0, 0);
    collector_.CloseDriverPort();
    return;
  }
  // A database or journal of another owner that could not be moved aside is never
  // opened: the service runs on without recording, as without a driver.
  if (!dataFilesTrusted_) {
    serviceLog_.Write(u"StartLogger: database not opened.", 1, 0, 0);
    collector_.CloseDriverPort();
    return;
  }
  engine_.Initialise(&collector_, &settings_);
  periodicRunFlag_ = 1;
  try {
    periodicThread_ = std::thread([this] { PeriodicThread(); });
  } catch (const std::system_error&) {
  }
  if (periodicThread_.joinable()) {
    do {
      const int32_t polled = collector_.PollDriver();
      if (polled < 0) break;
      if (polled == 0) system_.Environment().Sleep(kIdleSleepMilliseconds);
    } while (loggerRunFlag_ != 0);
  }
  StopPeriodicThread();
  collector_.CloseDriverPort();
}

// The rescan interval runs on the machine's clock, so that time moved forward on
// an emulated machine triggers it like time that passed.
void LoggerProcess::PeriodicThread() {
  Environment& environment = system_.Environment();
  int64_t lastRescan = environment.Time();
  do {
    const int32_t handled = engine_.Dispatch();
    if (handled < 0) break;
    if (handled == 0) environment.Sleep(kIdleSleepMilliseconds);
    if (environment.Time() - lastRescan >= kRescanIntervalSeconds) {
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
void LoggerProcess::ServiceCleanup() {
  if (stopEvent_ != 0) system_.Objects().CloseHandle(stopEvent_);
  stopEvent_ = 0;
  StopLogDriver(system_);
  StopLogger();
  engine_.Shutdown();
  if (statusHandle_ != 0) ReportServiceStatus(kServiceStopped, 0, 0, 0);
}

void LoggerProcess::StopLogger() {
  if (const Handle event = loggerEvent_.exchange(0); event != 0) {
    system_.Objects().SetEvent(event);
    system_.Objects().CloseHandle(event);
  }
  loggerRunFlag_ = 0;
  if (loggerThread_.joinable()) loggerThread_.join();
}
