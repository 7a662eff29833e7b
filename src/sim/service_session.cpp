#include "sim/service_session.h"

#include <filesystem>
#include <iostream>
#include <thread>

#include "database/sql_connection.h"
#include "database/sql_statement.h"
#include "platform/emulated/files/file_store.h"
#include "platform/emulated/minifilter/minifilter.h"
#include "platform/emulated/processes/program_table.h"
#include "platform/emulated/services/service_store.h"
#include "platform/text_encoding.h"
#include "service/logger_process.h"
#include "sim/service_control.h"

using Database::SqlAccess;
using Database::SqlConnection;
using Database::SqlStatement;
using Database::SqlStep;
using Service::BrumevaleLoggerMain;
using Service::kServiceName;

namespace Sim {
namespace {

using namespace std::chrono_literals;

// The simulator acts as an administrator's console; the System process stands in
// for it, so that no extra process shows up in the machine's history.
constexpr uint32_t kConsoleProcess = Emulated::ProcessList::kSystemProcessId;
// Rescans run every 300 seconds of machine time after the previous one ended.
constexpr int64_t kRescanInterval = 300;
// Generous bounds: a rescan of a large image on a busy host takes a while, but a
// service that never answers must not hang the simulator.
constexpr auto kStateTimeout = 120s;
constexpr auto kRescanTimeout = 300s;
constexpr auto kSettleTimeout = 120s;

}  // namespace

ServiceSession::ServiceSession(BootedImage& image) : image_(image), machine_(image.Machine()) {}

bool ServiceSession::IsInstalled() {
  Platform::ServiceManager& scm = machine_.Process(kConsoleProcess).Services();
  Platform::Handle manager = 0, service = 0;
  if (scm.OpenSCManager(Platform::kScManagerConnect, &manager) != Platform::kErrorSuccess) return false;
  const bool found = scm.OpenService(manager, kServiceName, Platform::kServiceQueryStatus, &service) ==
                     Platform::kErrorSuccess;
  if (found) scm.CloseServiceHandle(service);
  scm.CloseServiceHandle(manager);
  return found;
}

bool ServiceSession::Install(std::string* error) {
  // The simulator hosts the service's process in its own: their consoles are one.
  Emulated::RegisterProgram(machine_, kProgramImage,
                            [](Platform::System& system, const std::vector<std::u16string>& args) {
                              return BrumevaleLoggerMain(system, args, std::cout);
                            });
  if (IsInstalled()) return true;
  Emulated::ProcessLaunch launch;
  launch.creator = {kConsoleProcess, 0};
  launch.imagePath = kProgramImage;
  launch.ownerSid = u"S-1-5-18";
  launch.currentDirectory = kProgramFolder;
  if (Emulated::RunProgram(machine_, launch, {u"-i"}) < 0 || !IsInstalled()) {
    *error = "the service could not be installed (see BrumevaleLogger_Install_Log.txt)";
    return false;
  }
  return true;
}

bool ServiceSession::Control(bool start, std::string* error) {
  const Platform::Win32Error rc = ControlServiceByName(machine_, kServiceName, start);
  if (rc != Platform::kErrorSuccess)
    *error = std::string(start ? "starting" : "stopping") + " the service failed with error " + std::to_string(rc);
  return rc == Platform::kErrorSuccess;
}

bool ServiceSession::Start(std::string* error) {
  const int64_t before = RescansRecorded();
  if (!Control(true, error)) return false;
  if (!machine_.Services().WaitForState(kServiceName, Platform::kServiceRunning, kStateTimeout)) {
    *error = "the service did not reach the running state";
    return false;
  }
  running_ = true;
  if (!WaitForRescanAfter(before, kRescanTimeout)) {
    *error = "the service runs, but no rescan was recorded (see its logs)";
    return false;
  }
  return true;
}

bool ServiceSession::Stop(std::string* error) {
  if (!Control(false, error)) return false;
  running_ = false;
  if (!machine_.Services().WaitForState(kServiceName, Platform::kServiceStopped, kStateTimeout)) {
    *error = "the service did not stop";
    return false;
  }
  return true;
}

void ServiceSession::AdvanceClock(int64_t seconds) {
  // Count the rescans before the clock moves: the periodic thread may run the one
  // that comes due before this thread looks again.
  const int64_t before = running_ ? RescansRecorded() : 0;
  machine_.Time().Advance(std::chrono::seconds(seconds));
  if (!running_ || machine_.Time().NowSeconds() - lastRescanClock_ < kRescanInterval) return;
  // The settings check's event marks the rescan's end, but the file-extension check
  // runs after it: the scenario's next action must wait for that too, or the check
  // would read the registry the action leaves and take its change for its own.
  if (WaitForRescanAfter(before, kRescanTimeout)) Settle();
}

// Queued records reach the database through the logger and the engine's dispatch
// passes; neither is visible from outside, so the service counts as settled when
// the minifilter's queue is empty and the database file has stopped changing.
void ServiceSession::Settle() {
  if (!running_) return;
  const auto deadline = std::chrono::steady_clock::now() + kSettleTimeout;
  std::string last = DatabaseSignature();
  int quiet = 0;
  while (quiet < 4 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
    const std::string now = DatabaseSignature();
    quiet = machine_.Filter().QueuedRecords() == 0 && now == last ? quiet + 1 : 0;
    last = now;
  }
}

// The queue empties when the logger thread takes a reply; it decodes that reply at
// once, so a short pause after the queue is empty covers the decoding too.
void ServiceSession::AwaitIntake() {
  if (!running_) return;
  const auto deadline = std::chrono::steady_clock::now() + kSettleTimeout;
  while (machine_.Filter().QueuedRecords() != 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  std::this_thread::sleep_for(50ms);
}

bool ServiceSession::WaitForRescanAfter(int64_t count, std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (RescansRecorded() > count) {
      lastRescanClock_ = machine_.Time().NowSeconds();
      return true;
    }
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

int64_t ServiceSession::RescansRecorded() {
  const auto path = machine_.FileState().HostPath(kDatabasePath);
  SqlConnection db;
  if (!path || !db.Open(*path, SqlAccess::kReadOnly)) return 0;
  db.WaitWhileBusy(2000ms);
  SqlStatement statement(db, "SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE = 9");
  return statement.Ok() && statement.Step() == SqlStep::kRow ? statement.Int64(0) : 0;
}

std::string ServiceSession::DatabaseSignature() {
  const auto path = machine_.FileState().HostPath(kDatabasePath);
  std::error_code ec;
  if (!path) return {};
  const auto size = std::filesystem::file_size(*path, ec);
  const auto time = std::filesystem::last_write_time(*path, ec).time_since_epoch().count();
  const bool journal = std::filesystem::exists(*path + "-journal", ec);
  return std::to_string(size) + "/" + std::to_string(time) + (journal ? "/j" : "");
}

}  // namespace Sim
