// The service on a machine where the driver's port cannot be connected: it records
// through change notifications and rescans, keeps trying the port, moves to the
// driver when it comes and back when it goes, without a restart.

#include "service/logger_fixture.h"

#include <sqlite3.h>

#include "platform/emulated/minifilter/minifilter.h"

using Engine::LoadPointEngine;

namespace Service {

namespace {

using namespace Platform;
using namespace std::chrono_literals;

constexpr char16_t kRunPath[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class DriverlessServiceTest : public ServiceTest::LoggerTest {
 protected:
  // Installs the service, takes the driver's entry away (so its port is never there
  // unless a test starts the minifilter itself) and starts the service.
  void StartWithoutDriver() {
    prepare_ = [this](LoggerProcess& process) {
      auto scan = process.Engine().Handlers().fullLoadPointScan;
      process.Engine().Handlers().fullLoadPointScan = [this, scan](LoadPointEngine& engine, int32_t flag) {
        const int32_t result = scan(engine, flag);
        ++rescans_;
        return result;
      };
    };
    ASSERT_EQ(RunFromConsole({u"-i"}), 0);
    ServiceManager& scm = Console().Services();
    ScopedService manager, driver;
    ASSERT_EQ(scm.OpenSCManager(kScManagerAllAccess, manager.Receive(scm)), kErrorSuccess);
    ASSERT_EQ(scm.OpenService(manager.Get(), u"BrumevaleLookout", kDelete, driver.Receive(scm)),
              kErrorSuccess);
    ASSERT_EQ(scm.DeleteService(driver.Get()), kErrorSuccess);
    ASSERT_EQ(scm.OpenService(manager.Get(), u"Brumevale", kServiceStart | kServiceStop,
                              service_.Receive(scm)),
              kErrorSuccess);
    ASSERT_EQ(scm.StartService(service_.Get(), {}), kErrorSuccess);
    ASSERT_TRUE(WaitForLog(u"StartLogger: running without the driver (port error 0x"));
  }
  void StopService() {
    ServiceStatus status;
    ASSERT_EQ(Console().Services().ControlService(service_.Get(), kServiceControlStop, &status),
              kErrorSuccess);
    EXPECT_TRUE(Store().WaitForState(u"Brumevale", kServiceStopped, 60s));
  }

  bool WaitForLog(std::u16string_view line, int tries = 3000) {
    for (int i = 0; i < tries; ++i) {
      if (ReadLog("BrumevaleLogger_Log.txt").find(line) != std::u16string::npos) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  // The first cell of sql on the service's database, read as another program would;
  // empty while the file or the answer is not there.
  std::string Query(const std::string& sql) {
    std::string host;
    for (const auto& item : std::filesystem::recursive_directory_iterator(HostFolder())) {
      if (item.path().filename() == "Brumevale.data") host = item.path().string();
    }
    std::string cell;
    sqlite3* db = nullptr;
    if (!host.empty() && sqlite3_open_v2(host.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_busy_timeout(db, 1000);
      sqlite3_exec(db, sql.c_str(), [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) = values[0] ? values[0] : "";
        return 0;
      }, &cell, nullptr);
    }
    sqlite3_close(db);
    return cell;
  }
  // Waits up to 30 s for sql's first cell to read expected.
  bool WaitForQuery(const std::string& sql, const std::string& expected) {
    for (int i = 0; i < 3000; ++i) {
      if (Query(sql) == expected) return true;
      std::this_thread::sleep_for(10ms);
    }
    ADD_FAILURE() << sql << " never gave " << expected << " (last: " << Query(sql) << ")";
    return false;
  }

  void SetRunValue(std::u16string_view name, std::u16string_view data) {
    Registry& registry = Console().Registry();
    ScopedKey run;
    ASSERT_EQ(registry.CreateKey(kHkeyLocalMachine, kRunPath, 0, kKeyAllAccess, run.Receive(registry),
                                 nullptr),
              kErrorSuccess);
    std::vector<uint8_t> bytes;
    for (char16_t c : data) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
    bytes.insert(bytes.end(), {0, 0});
    ASSERT_EQ(registry.SetValue(run.Get(), name, kRegSz, bytes), kErrorSuccess);
  }
  // "<origin>/<process known>" of the latest event of the Run entry name.
  std::string HowLearnt(const std::string& name) {
    return Query("SELECT COALESCE(o.ORIGIN, 0) || '/' || (e.PROCESS_ENTRY_KEY > 0) FROM ChangeEvents e "
                 "JOIN LoadPoints l ON l.KEY = e.LOAD_POINT_KEY LEFT JOIN EventOrigin o ON "
                 "o.CHANGE_EVENT_KEY = e.KEY WHERE l.ENTRY_NAME = '" + name + "' ORDER BY e.KEY DESC LIMIT 1");
  }

  // Waits until count full rescans have ended.
  bool WaitForRescans(int count) {
    for (int i = 0; i < 3000 && rescans_ < count; ++i) std::this_thread::sleep_for(10ms);
    return rescans_ >= count;
  }

  ScopedService service_;
  std::atomic<int> rescans_{0};
};

TEST_F(DriverlessServiceTest, WithoutThePortTheServiceRecordsThroughNotifications) {
  StartWithoutDriver();
  EXPECT_TRUE(WaitForQuery("SELECT COUNT(*) > 0 FROM ChangeEvents WHERE EVENT_TYPE = 6", "1"))
      << "no first rescan";
  SetRunValue(u"Driverless", u"C:\\driverless.exe");
  EXPECT_TRUE(WaitForQuery("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'Driverless'", "1"));
  EXPECT_EQ(HowLearnt("Driverless"), "2/0");
  const std::u16string log = ReadLog("BrumevaleLogger_Log.txt");
  EXPECT_EQ(log.find(u"running without the driver"), log.rfind(u"running without the driver"))
      << "said more than once";
  StopService();
}

// The driver comes: within the next attempt the port is connected, changes carry
// their process again; the driver goes: the service falls back, still running.
TEST_F(DriverlessServiceTest, TheDriverStartedAndStoppedMidRunIsFollowed) {
  StartWithoutDriver();
  ASSERT_TRUE(WaitForQuery("SELECT COUNT(*) > 0 FROM ChangeEvents WHERE EVENT_TYPE = 6", "1"));
  machine_.Filter().Start();
  // The minute runs from the moment the logger began waiting, which may come after
  // the first rescan's rows are visible here: move the clock until it has tried.
  bool connected = false;
  for (int i = 0; i < 5 && !connected; ++i) {
    machine_.Time().Advance(61s);
    connected = WaitForLog(u"StartLogger: connected to the driver", 300);
  }
  ASSERT_TRUE(connected);
  ASSERT_TRUE(WaitForRescans(2)) << "no rescan once the driver was live";
  SetRunValue(u"Live", u"C:\\live.exe");
  EXPECT_TRUE(WaitForQuery("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'Live'", "1"));
  EXPECT_EQ(HowLearnt("Live"), "0/1");

  machine_.Filter().Stop();
  ASSERT_TRUE(WaitForLog(u"StartLogger: the driver's port failed"));
  ASSERT_TRUE(WaitForRescans(3)) << "no rescan once the notifications were live";
  SetRunValue(u"After", u"C:\\after.exe");
  EXPECT_TRUE(WaitForQuery("SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'After'", "1"));
  EXPECT_EQ(HowLearnt("After"), "2/0");
  EXPECT_EQ(Store().Status(u"Brumevale").currentState, kServiceRunning);
  StopService();
}

}  // namespace

}  // namespace Service
