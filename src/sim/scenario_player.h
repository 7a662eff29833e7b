#pragma once
// Playing a parsed scenario on a booted machine. Actions by a process act through
// that process's view of the machine, so the minifilter attributes every change to
// it; machine actions move the clock, control the service or the minifilter's
// driver, and log users on and off.

#include <iosfwd>
#include <string>

#include "platform/emulated/machine/machine.h"
#include "platform/win32_types.h"
#include "sim/scenario.h"

namespace Sim {

class BootedImage;

// What the player needs from the service under test.
class ServiceUnderTest {
 public:
  virtual ~ServiceUnderTest() = default;
  virtual bool Start(std::string* error) = 0;
  virtual bool Stop(std::string* error) = 0;
  // Returns once the service has handled everything the machine reported so far.
  virtual void Settle() = 0;
  // Returns once the service has taken from the driver everything reported so far.
  virtual void AwaitIntake() = 0;
  // Moves the machine's clock forward and returns once a rescan that came due has
  // run.
  virtual void AdvanceClock(int64_t seconds) = 0;
};

// Plays every action in order. An action that the machine refuses (a process that
// does not run, a key that does not exist) is reported on out with its line and
// the scenario goes on, as a real machine would go on. Returns the number of such
// refused actions.
int PlayScenario(BootedImage& image, const Scenario& scenario, const std::string& scenarioName,
                 ServiceUnderTest& service, std::ostream& out);
// On a machine that no image holds: "user logon" and "user logoff" have no hive
// files to load and are refused.
int PlayScenario(Emulated::Machine& machine, const Scenario& scenario,
                 const std::string& scenarioName, ServiceUnderTest& service, std::ostream& out);

// The message of an action the machine refused: "<what> failed with error <code>".
std::string ActionFailed(const char* what, Platform::Win32Error code);

// Before anything runs: every "file copy" must read a file that the image's drives
// hold or that an earlier line of the scenario writes. False with
// "<scenarioName>:<line>: <what is wrong>" for the first that does not.
bool CheckCopySources(Emulated::Machine& machine, const Scenario& scenario,
                      const std::string& scenarioName, std::string* error);

// One action by a process; false with a message when the machine refused it.
bool PlayProcessAction(Emulated::Machine& machine, const ScenarioAction& action,
                       std::string* problem, std::string* note);

}  // namespace Sim
