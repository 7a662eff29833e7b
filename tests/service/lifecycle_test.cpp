// The service started and stopped through the manager on an emulated machine: the
// status sequence, the driver following the service, a stop while the engine is
// still initialising, and a driver that cannot be reached.

#include "service/logger_fixture.h"

#include <future>

#include "platform/emulated/minifilter.h"

namespace {

using namespace Platform;
using namespace std::chrono_literals;

class LifecycleTest : public ServiceTest::LoggerTest {
 protected:
  ScopedService OpenLogger() {
    ServiceManager& scm = Console().Services();
    ScopedService manager, service;
    EXPECT_EQ(scm.OpenSCManager(kScManagerConnect, manager.Receive(scm)), kErrorSuccess);
    EXPECT_EQ(scm.OpenService(manager.Get(), u"Brumevale", kServiceStart | kServiceStop,
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
  const std::vector<ServiceStatus> expected{{kOwn, kServiceStartPending, 0, 0, 0, 1, 3000},
                                            {kOwn, kServiceRunning, 1, 0, 0, 0, 0},
                                            {kOwn, kServiceStopPending, 1, 0, 0, 1, 3000},
                                            {kOwn, kServiceStopped, 1, 0, 0, 0, 0}};
  EXPECT_EQ(Store().StatusHistory(u"Brumevale"), expected);
  const std::u16string log = ReadLog("BrumevaleLogger_Log.txt");
  EXPECT_NE(log.find(u"*** StartLogDriver ***"), std::u16string::npos);
  EXPECT_NE(log.find(u"OpenSCManager: SUCCESS\r\nOpenService: SUCCESS\r\nDriver Started.\n\r\n"),
            std::u16string::npos);
  EXPECT_NE(log.find(u"*** StartLogger ***"), std::u16string::npos);
  EXPECT_EQ(log.find(u"Failed to initialize"), std::u16string::npos);
  EXPECT_FALSE(ReadLog("Brumevale.data").empty());
}

TEST_F(LifecycleTest, StopWhileTheEngineInitialisesWaitsForItsEnd) {
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
  EXPECT_FALSE(Store().WaitForState(u"Brumevale", kServiceStopped, 200ms));
  releaseScan.set_value();
  ASSERT_TRUE(Store().WaitForState(u"Brumevale", kServiceStopped, 60s));
  EXPECT_EQ(Store().StatusHistory(u"Brumevale").back().currentState, kServiceStopped);
}

TEST_F(LifecycleTest, WithoutTheDriverTheServiceKeepsRunningIdle) {
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
  EXPECT_TRUE(Store().WaitForState(u"Brumevale", kServiceStopped, 30s));
}

}  // namespace
