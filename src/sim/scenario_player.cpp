#include "sim/scenario_player.h"

#include <ostream>

#include "platform/emulated/processes/process_control.h"
#include "service/service_install.h"
#include "sim/machine_image.h"
#include "sim/service_control.h"

using Service::kDriverServiceName;

namespace Sim {
namespace {

// "driver stop" / "driver start": the minifilter's driver service through the
// manager, as an administrator's "sc stop BrumevaleLookout" would. The service's
// port then fails or accepts again.
bool ControlDriver(Emulated::Machine& machine, bool start, std::string* problem) {
  const Platform::Win32Error rc = ControlServiceByName(machine, kDriverServiceName, start);
  if (rc != Platform::kErrorSuccess) *problem = ActionFailed(start ? "driver start" : "driver stop", rc);
  return rc == Platform::kErrorSuccess;
}

bool PlayUserAction(const ScenarioAction& action, BootedImage* image, ServiceUnderTest& service,
                    std::string* problem) {
  if (image == nullptr) {
    *problem = "user logon and logoff need a machine image";
    return false;
  }
  // What the user did before logging off is handled while the hive is there.
  service.Settle();
  return action.kind == ActionKind::kUserLogon ? image->LogOn(action.userName, problem)
                                               : image->LogOff(action.userName, problem);
}

bool PlayMachineAction(const ScenarioAction& action, Emulated::Machine& machine, BootedImage* image,
                       ServiceUnderTest& service, std::string* problem) {
  switch (action.kind) {
    case ActionKind::kWait:
      // What happened before the wait is handled at the time it happened.
      service.Settle();
      service.AdvanceClock(action.seconds);
      return true;
    case ActionKind::kServiceStop:
      service.Settle();
      return service.Stop(problem);
    case ActionKind::kServiceStart:
      return service.Start(problem);
    case ActionKind::kDriverStop:
      // The driver's queue goes with it: what it holds is taken first.
      service.AwaitIntake();
      return ControlDriver(machine, false, problem);
    case ActionKind::kDriverStart:
      return ControlDriver(machine, true, problem);
    case ActionKind::kUserLogon:
    case ActionKind::kUserLogoff:
      return PlayUserAction(action, image, service, problem);
    default:
      *problem = "not a machine action";
      return false;
  }
}

bool IsMachineAction(ActionKind kind) {
  switch (kind) {
    case ActionKind::kWait:
    case ActionKind::kServiceStop:
    case ActionKind::kServiceStart:
    case ActionKind::kDriverStop:
    case ActionKind::kDriverStart:
    case ActionKind::kUserLogon:
    case ActionKind::kUserLogoff:
      return true;
    default:
      return false;
  }
}

int Play(Emulated::Machine& machine, BootedImage* image, const Scenario& scenario,
         const std::string& scenarioName, ServiceUnderTest& service, std::ostream& out) {
  int refused = 0;
  for (const ScenarioAction& action : scenario.actions) {
    std::string problem, note;
    // A real process lives far longer than the service's 10 ms between polls, and
    // the service learns a new process's image by looking at the running process.
    // Played back to back, a scenario's process could be gone before the service
    // saw it start, and its changes would carry no image; so a process ends only
    // after the service has taken what the driver reported until then.
    if (action.kind == ActionKind::kProcessExit) service.AwaitIntake();
    const bool ok = IsMachineAction(action.kind)
                        ? PlayMachineAction(action, machine, image, service, &problem)
                        : PlayProcessAction(machine, action, &problem, &note);
    const std::string where = scenarioName + ":" + std::to_string(action.line) + ": ";
    if (!ok) {
      out << where << problem << "\n";
      ++refused;
    } else if (!note.empty()) {
      out << where << note << "\n";
    }
  }
  return refused;
}

}  // namespace

int PlayScenario(BootedImage& image, const Scenario& scenario, const std::string& scenarioName,
                 ServiceUnderTest& service, std::ostream& out) {
  return Play(image.Machine(), &image, scenario, scenarioName, service, out);
}

int PlayScenario(Emulated::Machine& machine, const Scenario& scenario,
                 const std::string& scenarioName, ServiceUnderTest& service, std::ostream& out) {
  return Play(machine, nullptr, scenario, scenarioName, service, out);
}

}  // namespace Sim
