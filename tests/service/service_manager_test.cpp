// The emulated service control manager: entries in the registry, rights on handles,
// the dispatcher's connection, controls reaching the handler, the minifilter driver.

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>

#include "platform/emulated/minifilter/minifilter.h"
#include "platform/emulated/processes/process_control.h"
#include "platform/emulated/processes/program_table.h"
#include "platform/emulated/registry/registry_store.h"
#include "platform/emulated/services/service_registry.h"
#include "platform/emulated/services/service_store.h"
#include "platform/scoped_handle.h"
#include "util/util_machine.h"

namespace Service {

namespace {

using namespace Platform;
using namespace std::chrono_literals;

constexpr char16_t kImage[] = u"C:\\Program Files\\Echo\\echo.exe";

// A minimal service program: reports running, stops on the stop control.
int EchoService(System& system, const std::vector<std::u16string>&) {
  ServiceManager& scm = system.Services();
  return static_cast<int>(scm.StartServiceCtrlDispatcher({{u"Echo", [&](const auto&) {
    std::mutex mutex;
    std::condition_variable stopped;
    bool stop = false;
    Handle status = 0;
    scm.RegisterServiceCtrlHandler(u"Echo", [&](uint32_t control) {
      if (control != kServiceControlStop) return;
      scm.SetServiceStatus(status, {kServiceWin32OwnProcess, kServiceStopPending});
      std::lock_guard lock(mutex);
      stop = true;
      stopped.notify_all();
    }, &status);
    scm.SetServiceStatus(status, {kServiceWin32OwnProcess, kServiceRunning, kServiceAcceptStop});
    std::unique_lock lock(mutex);
    stopped.wait(lock, [&] { return stop; });
    scm.SetServiceStatus(status, {kServiceWin32OwnProcess, kServiceStopped});
  }}}));
}

// A service that accepts stop, shutdown and pre-shutdown, registered in the plain
// form or (with the argument "-ex") the extended one; it notes every control it gets
// and stops on the first of the three.
std::mutex g_controlsMutex;
std::map<std::u16string, std::vector<uint32_t>> g_controls;

int ShutdownAwareService(System& system, const std::vector<std::u16string>& args) {
  const bool extended = !args.empty() && args.back() == u"-ex";
  const std::u16string name = extended ? u"Extended" : u"Plain";
  ServiceManager& scm = system.Services();
  return static_cast<int>(scm.StartServiceCtrlDispatcher({{name, [&](const auto&) {
    std::mutex mutex;
    std::condition_variable stopped;
    bool stop = false;
    Handle status = 0;
    auto handle = [&](uint32_t control) {
      {
        std::lock_guard noted(g_controlsMutex);
        g_controls[name].push_back(control);
      }
      std::lock_guard lock(mutex);
      stop = true;
      stopped.notify_all();
      return kErrorSuccess;
    };
    if (extended) {
      scm.RegisterServiceCtrlHandlerEx(name, handle, &status);
    } else {
      scm.RegisterServiceCtrlHandler(name, [&](uint32_t control) { handle(control); }, &status);
    }
    scm.SetServiceStatus(status, {kServiceWin32OwnProcess, kServiceRunning,
                                  kServiceAcceptStop | kServiceAcceptShutdown | kServiceAcceptPreshutdown});
    std::unique_lock lock(mutex);
    stopped.wait(lock, [&] { return stop; });
    scm.SetServiceStatus(status, {kServiceWin32OwnProcess, kServiceStopped});
  }}}));
}

// The calling processes are real processes of the machine, so that the ids the
// manager hands its service processes never collide with them.
class ServiceManagerTest : public UtilTest::MachineTest {
 protected:
  ServiceManager& Scm() { return Caller().Services(); }
  Platform::System& Caller() { return machine_.Process(caller_); }
  uint32_t Console() {
    return Emulated::StartProcess(machine_, {{4, 0}, u"C:\\Windows\\System32\\cmd.exe", u"S-1-5-18"});
  }

  ScopedService Manager(uint32_t access = kScManagerAllAccess) {
    ScopedService manager;
    EXPECT_EQ(Scm().OpenSCManager(access, manager.Receive(Scm())), kErrorSuccess);
    return manager;
  }
  Win32Error Create(const ServiceConfig& config, ScopedService* service) {
    ScopedService manager = Manager();
    return Scm().CreateService(manager.Get(), config, service->Receive(Scm()));
  }
  ScopedService Open(std::u16string_view name, uint32_t access) {
    ScopedService manager = Manager();
    ScopedService service;
    EXPECT_EQ(Scm().OpenService(manager.Get(), name, access, service.Receive(Scm())),
              kErrorSuccess);
    return service;
  }
  static ServiceConfig Echo() {
    return {u"Echo", u"Echo Service", kServiceAllAccess, kServiceWin32OwnProcess,
            kServiceDemandStart, 1, std::u16string(u"\"") + kImage + u"\" -x", u"", u""};
  }
  static ServiceConfig Lookout() {
    return {u"BrumevaleLookout", u"Driver", 0x10030, kServiceFileSystemDriver,
            kServiceDemandStart, 0, u"C:\\Prog\\BrumevaleLookout.sys", u"", u""};
  }
  Emulated::ServiceStore& Store() { return machine_.Services(); }

  const uint32_t caller_ = Console();
};

TEST_F(ServiceManagerTest, EntryIsKeptInTheRegistryAsWindowsKeepsIt) {
  ScopedService service;
  ASSERT_EQ(Create(Echo(), &service), kErrorSuccess);
  const auto entry = Emulated::ReadServiceEntry(machine_.RegistryState(), u"ECHO");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->name, u"Echo");
  EXPECT_EQ(entry->type, kServiceWin32OwnProcess);
  EXPECT_EQ(entry->start, kServiceDemandStart);
  EXPECT_EQ(entry->errorControl, 1u);
  EXPECT_EQ(entry->imagePath, Echo().binaryPathName);
  EXPECT_EQ(entry->displayName, u"Echo Service");
  EXPECT_EQ(entry->objectName, u"LocalSystem");
  EXPECT_TRUE(machine_.RegistryState().CopyTree(
      u"MACHINE\\SYSTEM\\ControlSet001\\Services\\Echo"));

  ScopedService again;
  EXPECT_EQ(Create(Echo(), &again), kErrorServiceExists);
}

TEST_F(ServiceManagerTest, HandlesCarryTheirRights) {
  ScopedService connectOnly = Manager(kScManagerConnect);
  ScopedService service;
  EXPECT_EQ(Scm().CreateService(connectOnly.Get(), Echo(), service.Receive(Scm())),
            kErrorAccessDenied);
  ASSERT_EQ(Create(Echo(), &service), kErrorSuccess);
  ScopedService queryOnly = Open(u"Echo", kServiceQueryStatus);
  EXPECT_EQ(Scm().StartService(queryOnly.Get(), {}), kErrorAccessDenied);
  EXPECT_EQ(Scm().ControlService(queryOnly.Get(), kServiceControlStop, nullptr),
            kErrorAccessDenied);
  EXPECT_EQ(Scm().DeleteService(queryOnly.Get()), kErrorAccessDenied);
  // A handle is the opening process's own.
  EXPECT_EQ(machine_.Process(Console()).Services().StartService(service.Get(), {}), kErrorInvalidHandle);
  ScopedService manager = Manager();
  EXPECT_EQ(Scm().OpenService(manager.Get(), u"Nobody", kServiceStart, service.Receive(Scm())),
            kErrorServiceDoesNotExist);
}

TEST_F(ServiceManagerTest, DispatcherOnlyConnectsInAProcessTheManagerStarted) {
  EXPECT_EQ(Scm().StartServiceCtrlDispatcher({{u"Echo", [](const auto&) {}}}),
            kErrorFailedServiceControllerConnect);
  Handle status = 0;
  EXPECT_EQ(Scm().RegisterServiceCtrlHandler(u"Echo", [](uint32_t) {}, &status),
            kErrorServiceDoesNotExist);
}

TEST_F(ServiceManagerTest, StartRunsTheProgramAndStopReachesItsHandler) {
  Emulated::RegisterProgram(machine_, kImage, EchoService);
  ScopedService service;
  ASSERT_EQ(Create(Echo(), &service), kErrorSuccess);
  ASSERT_EQ(Scm().StartService(service.Get(), {}), kErrorSuccess);
  ASSERT_TRUE(Store().WaitForState(u"Echo", kServiceRunning, 10s));
  EXPECT_EQ(Scm().StartService(service.Get(), {}), kErrorServiceAlreadyRunning);

  const uint32_t pid = Store().ServiceProcessId(u"Echo");
  const auto process = machine_.ProcessTable().Find(pid);
  ASSERT_TRUE(process);
  EXPECT_EQ(process->ownerSid, u"S-1-5-18");
  EXPECT_EQ(process->serviceName, u"Echo");
  EXPECT_EQ(process->imagePath, kImage);
  // Deletion waits for the stop and the last handle.
  EXPECT_EQ(Scm().DeleteService(service.Get()), kErrorSuccess);
  EXPECT_EQ(Scm().DeleteService(service.Get()), kErrorServiceMarkedForDelete);

  ServiceStatus status;
  ASSERT_EQ(Scm().ControlService(service.Get(), kServiceControlStop, &status), kErrorSuccess);
  // The program's main may already have reported stopped once the handler returned.
  EXPECT_NE(status.currentState, kServiceRunning);
  ASSERT_TRUE(Store().WaitForState(u"Echo", kServiceStopped, 10s));
  EXPECT_FALSE(machine_.ProcessTable().Find(pid));
  EXPECT_EQ(Scm().ControlService(service.Get(), kServiceControlStop, &status),
            kErrorServiceNotActive);
  EXPECT_EQ(Store().StatusHistory(u"Echo").size(), 3u);
  EXPECT_TRUE(Emulated::ReadServiceEntry(machine_.RegistryState(), u"Echo"));
  service.Reset();
  EXPECT_FALSE(Emulated::ReadServiceEntry(machine_.RegistryState(), u"Echo"));
}

TEST_F(ServiceManagerTest, StartFailsForAProgramThatNeverConnects) {
  Emulated::RegisterProgram(machine_, kImage, [](Platform::System&, const auto&) { return 0; });
  ScopedService service;
  ASSERT_EQ(Create(Echo(), &service), kErrorSuccess);
  EXPECT_EQ(Scm().StartService(service.Get(), {}), kErrorServiceRequestTimeout);
  EXPECT_TRUE(Store().WaitForState(u"Echo", kServiceStopped, 10s));
  ServiceConfig unknown = Echo();
  unknown.serviceName = u"Other";
  unknown.binaryPathName = u"C:\\nowhere.exe";
  ASSERT_EQ(Create(unknown, &service), kErrorSuccess);
  EXPECT_EQ(Scm().StartService(service.Get(), {}), kErrorFileNotFound);
}

// At the machine's shutdown the pre-shutdown control goes first, and only to an
// extended handler; a plain one gets the shutdown control only. Neither can be sent
// by ControlService.
TEST_F(ServiceManagerTest, ShutdownSendsPreshutdownOnlyToExtendedHandlers) {
  constexpr char16_t kShutdownImage[] = u"C:\\Shutdown\\aware.exe";
  Emulated::RegisterProgram(machine_, kShutdownImage, ShutdownAwareService);
  g_controls.clear();
  for (const char16_t* name : {u"Plain", u"Extended"}) {
    ServiceConfig config = Echo();
    config.serviceName = name;
    config.binaryPathName = std::u16string(kShutdownImage) + (name == std::u16string(u"Extended") ? u" -ex" : u"");
    ScopedService service;
    ASSERT_EQ(Create(config, &service), kErrorSuccess);
    ASSERT_EQ(Scm().StartService(service.Get(), {}), kErrorSuccess);
    ASSERT_TRUE(Store().WaitForState(name, kServiceRunning, 10s));
    EXPECT_EQ(Scm().ControlService(service.Get(), kServiceControlPreshutdown, nullptr),
              kErrorInvalidParameter);
    EXPECT_EQ(Scm().ControlService(service.Get(), kServiceControlShutdown, nullptr),
              kErrorInvalidParameter);
  }
  Store().ShutDown(10s);
  ASSERT_TRUE(Store().WaitForState(u"Plain", kServiceStopped, 10s));
  ASSERT_TRUE(Store().WaitForState(u"Extended", kServiceStopped, 10s));
  std::lock_guard lock(g_controlsMutex);
  EXPECT_EQ(g_controls[u"Plain"], std::vector<uint32_t>{kServiceControlShutdown});
  EXPECT_EQ(g_controls[u"Extended"], std::vector<uint32_t>{kServiceControlPreshutdown});
}

TEST_F(ServiceManagerTest, TheLookoutDriverServiceRunsTheMinifilter) {
  ScopedService driver;
  ASSERT_EQ(Create(Lookout(), &driver), kErrorSuccess);
  ASSERT_FALSE(machine_.Filter().IsRunning());
  ASSERT_EQ(Scm().StartService(driver.Get(), {}), kErrorSuccess);
  EXPECT_TRUE(machine_.Filter().IsRunning());
  EXPECT_EQ(Scm().StartService(driver.Get(), {}), kErrorServiceAlreadyRunning);
  ServiceStatus status;
  ASSERT_EQ(Scm().ControlService(driver.Get(), kServiceControlStop, &status), kErrorSuccess);
  EXPECT_EQ(status.currentState, kServiceStopped);
  EXPECT_FALSE(machine_.Filter().IsRunning());
  EXPECT_EQ(Scm().ControlService(driver.Get(), kServiceControlStop, &status),
            kErrorServiceNotActive);
}

}  // namespace

}  // namespace Service
