#include "sim/scenario_player.h"

#include <ostream>

#include "platform/emulated/process_control.h"

namespace Sim {
namespace {

bool PlayMachineAction(const ScenarioAction& action, Emulated::Machine& machine,
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
    default:
      *problem = "not a machine action";
      return false;
  }
}

bool IsMachineAction(ActionKind kind) {
  return kind == ActionKind::kWait || kind == ActionKind::kServiceStop ||
         kind == ActionKind::kServiceStart;
}

}  // namespace

int PlayScenario(Emulated::Machine& machine, const Scenario& scenario,
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
                        ? PlayMachineAction(action, machine, service, &problem)
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

}  // namespace Sim
