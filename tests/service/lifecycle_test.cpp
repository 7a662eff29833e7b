// The service started and stopped through the manager on an emulated machine: the
// status sequence, the driver following the service, a stop while the engine is
// still initialising, and a driver that cannot be reached.

#include "service/logger_fixture.h"

#include <future>

#include "platform/emulated/minifilter/minifilter.h"

using Engine::LoadPointEngine;

namespace Service {

namespace {

using namespace Platform;
using namespace std::chrono_literals;

class LifecycleTest : public ServiceTest::LoggerTest {
 protected:
  ScopedService OpenLogger() {
    ServiceManager& scm = Console().Services();
    ScopedService manager, service;
    EXPECT_EQ(scm.OpenSCManager(kScManagerConnect, manager.Receive(scm)), kErrorSuccess);
    constexpr uint32_t kServiceInterrogate = 0x0080;
    EXPECT_EQ(scm.OpenService(manager.Get(), u"Brumevale", kServiceStart | kServiceStop | kServiceInterrogate,
                              service.Receive(scm)),
              kErrorSuccess);
    return service;
  }
  Win32Error Stop(const ScopedService& service, ServiceStatus* status) {
    return Console().Services().ControlService(service.Get(), kServiceControlStop, status);
  }
};

TEST_F(LifecycleTest, StartAndStopReportTheStatusSequenceAndRunTheDriverMeanwhile) {
  std::promise<void> firstScanDone;
  prepare_ = [&](LoggerProcess& process) {
    auto scan = process.Engine().Handlers().fullLoadPointScan;
    process.Engine().Handlers().fullLoadPointScan = [&, scan](LoadPointEngine& engine, int32_t flag) {
      const int32_t result = scan(engine, flag);
      if (flag == 1) firstScanDone.set_value();
      return result;
    };
  };
  ASSERT_EQ(RunFromConsole({u"-i"}), 0);
  ScopedService service = OpenLogger();
  ASSERT_EQ(Console().Services().StartService(service.Get(), {}), kErrorSuccess);
  ASSERT_EQ(firstScanDone.get_future().wait_for(60s), std::future_status::ready);
  EXPECT_TRUE(machine_.Filter().IsRunning());
  ServiceStatus status;
  ASSERT_EQ(Stop(service, &status), kErrorSuccess);
  ASSERT_TRUE(Store().WaitForState(u"Brumevale", kServiceStopped, 60s));
  EXPECT_FALSE(machine_.Filter().IsRunning());

  constexpr uint32_t kOwn = kServiceWin32OwnProcess;
  constexpr uint32_t kAccepted = kServiceAcceptStop | kServiceAcceptShutdown | kServiceAcceptPreshutdown;
  const std::vector<ServiceStatus> expected{{kOwn, kServiceStartPending, 0, 0, 0, 1, 3000},
                                            {kOwn, kServiceRunning, kAccepted, 0, 0, 0, 0},
                                            {kOwn, kServiceStopPending, kAccepted, 0, 0, 1, 3000},
                                            {kOwn, kServiceStopped, kAccepted, 0, 0, 0, 0}};
  std::vector<ServiceStatus> history = Store().StatusHistory(u"Brumevale");
  // A slow machine may add progress reports while stopping; they are another test's.
  std::erase_if(history, [](const ServiceStatus& s) { return s.currentState == kServiceStopPending && s.checkPoint > 1; });
  EXPECT_EQ(history, expected);
  const std::u16string log = ReadLog("BrumevaleLogger_Log.txt");
  EXPECT_NE(log.find(u"*** StartLogDriver ***"), std::u16string::npos);
  EXPECT_NE(log.find(u"OpenSCManager: SUCCESS\r\nOpenService: SUCCESS\r\nDriver Started.\n\r\n"),
            std::u16string::npos);
  EXPECT_NE(log.find(u"*** StartLogger ***"), std::u16string::npos);
  EXPECT_EQ(log.find(u"Failed to initialize"), std::u16string::npos);
  EXPECT_FALSE(ReadLog("Brumevale.data").empty());
}

// A stop that takes longer than a moment (here a first rescan that does not give
// up) is reported as pending again and again, its check point rising at least once
// a second; an interrogation meanwhile does not set the check point back.
TEST_F(LifecycleTest, StopWhileTheEngineInitialisesReportsProgressUntilItsEnd) {
  std::promise<void> scanEntered, releaseScan;
  std::shared_future<void> released = releaseScan.get_future().share();
  prepare_ = [&](LoggerProcess& process) {
    process.Engine().Handlers().fullLoadPointScan = [&, released](LoadPointEngine&, int32_t) {
      scanEntered.set_value();
      released.wait();
      return 1;
    };
  };
  ASSERT_EQ(RunFromConsole({u"-i"}), 0);
  ScopedService service = OpenLogger();
  ASSERT_EQ(Console().Services().StartService(service.Get(), {}), kErrorSuccess);
  scanEntered.get_future().wait();
  ServiceStatus status;
  ASSERT_EQ(Stop(service, &status), kErrorSuccess);
  EXPECT_EQ(status.currentState, kServiceStopPending);
  EXPECT_FALSE(Store().WaitForState(u"Brumevale", kServiceStopped, 1300ms));
  ASSERT_EQ(Console().Services().ControlService(service.Get(), kServiceControlInterrogate, &status),
            kErrorSuccess);
  EXPECT_EQ(status.currentState, kServiceStopPending);
  EXPECT_GE(status.checkPoint, 2u);
  EXPECT_EQ(status.waitHint, 3000u);
  EXPECT_FALSE(Store().WaitForState(u"Brumevale", kServiceStopped, 1000ms));
  releaseScan.set_value();
  ASSERT_TRUE(Store().WaitForState(u"Brumevale", kServiceStopped, 60s));

  const std::vector<ServiceStatus> history = Store().StatusHistory(u"Brumevale");
  ASSERT_EQ(history.back().currentState, kServiceStopped);
  uint32_t lastCheckPoint = 0;
  size_t pending = 0;
  for (const ServiceStatus& report : history) {
    if (report.currentState != kServiceStopPending) continue;
    ++pending;
    EXPECT_GE(report.checkPoint, lastCheckPoint) << "check point went back";
    lastCheckPoint = report.checkPoint;
  }
  // About 2.3 s held at a report every half second, one of them repeated by the
  // interrogation.
  EXPECT_GE(pending, 4u);
  EXPECT_GE(lastCheckPoint, 4u);
}

// The machine's shutdown reaches the service first as the pre-shutdown control,
// which it handles as a stop: it has stopped, cleanly, before the manager's wait for
// pre-shutdown ends (a shutdown control would only come after that wait).
TEST_F(LifecycleTest, MachineShutdownStopsTheServiceBeforeTheShutdownControl) {
  ASSERT_EQ(RunFromConsole({u"-i"}), 0);
  ScopedService service = OpenLogger();
  ASSERT_EQ(Console().Services().StartService(service.Get(), {}), kErrorSuccess);
  ASSERT_TRUE(Store().WaitForState(u"Brumevale", kServiceRunning, 30s));
  Store().ShutDown(60s);
  const ServiceStatus status = Store().Status(u"Brumevale");
  EXPECT_EQ(status.currentState, kServiceStopped);
  EXPECT_EQ(status.win32ExitCode, 0u);
  ASSERT_TRUE(Store().WaitForState(u"Brumevale", kServiceStopped, 30s));
  EXPECT_FALSE(machine_.Filter().IsRunning());
}

TEST_F(LifecycleTest, WithoutTheDriverTheServiceKeepsRunningAndSaysWhy) {
  ASSERT_EQ(RunFromConsole({u"-i"}), 0);
  ScopedService driver;
  ServiceManager& scm = Console().Services();
  ScopedService manager;
  ASSERT_EQ(scm.OpenSCManager(kScManagerAllAccess, manager.Receive(scm)), kErrorSuccess);
  ASSERT_EQ(scm.OpenService(manager.Get(), u"BrumevaleLookout", kDelete, driver.Receive(scm)),
            kErrorSuccess);
  ASSERT_EQ(scm.DeleteService(driver.Get()), kErrorSuccess);
  driver.Reset();

  ScopedService service = OpenLogger();
  ASSERT_EQ(scm.StartService(service.Get(), {}), kErrorSuccess);
  ASSERT_TRUE(Store().WaitForState(u"Brumevale", kServiceRunning, 30s));
  const std::u16string failed = u"StartLogger: Failed to initialize driver connection.\r\n";
  for (int i = 0; i < 500 && ReadLog("BrumevaleLogger_Log.txt").find(failed) == std::u16string::npos; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_NE(ReadLog("BrumevaleLogger_Log.txt").find(u"OpenService: FAILED\r\n"), std::u16string::npos);
  EXPECT_NE(ReadLog("BrumevaleLogger_Log.txt").find(failed), std::u16string::npos);
  EXPECT_EQ(Store().Status(u"Brumevale").currentState, kServiceRunning);
  ServiceStatus status;
  ASSERT_EQ(Stop(service, &status), kErrorSuccess);
  ASSERT_TRUE(Store().WaitForState(u"Brumevale", kServiceStopped, 30s));
  // The console says it too, the collector's line first.
  EXPECT_EQ(serviceOutput_.str(),
            "ERROR: Cannot open BrumevaleLookoutPort\n"
            "StartLogger: Failed to initialize driver connection.\n");
}

}  // namespace

}  // namespace Service
