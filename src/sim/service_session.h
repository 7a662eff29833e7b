#pragma once
// The logger service on a booted image, driven the way an administrator drives it:
// installed with "-i" from its program folder when missing, started and stopped
// through the service control manager. What the service has done is read from the
// outside only: the manager's recorded states, the minifilter's queue and the
// database (every rescan ends with a settings check, change event type 9).

#include <chrono>
#include <string>

#include "sim/machine_image.h"
#include "sim/scenario_player.h"

namespace Sim {

inline constexpr char16_t kProgramFolder[] = u"C:\\Program Files\\Kelvra Security\\Brumevale";
inline constexpr char16_t kProgramImage[] =
    u"C:\\Program Files\\Kelvra Security\\Brumevale\\BrumevaleLogger.exe";
inline constexpr char16_t kDatabasePath[] =
    u"C:\\ProgramData\\Kelvra Security\\Brumevale\\Brumevale.data";

class ServiceSession : public ServiceUnderTest {
 public:
  explicit ServiceSession(BootedImage& image);

  // Registers the program, installs the service when the manager does not know it.
  bool Install(std::string* error);
  // Start: until the service runs and the rescan of its start has been recorded.
  bool Start(std::string* error) override;
  bool Stop(std::string* error) override;
  void Settle() override;
  void AwaitIntake() override;
  void AdvanceClock(int64_t seconds) override;

 private:
  bool IsInstalled();
  bool Control(bool start, std::string* error);
  // Change events of type 9 so far; one more means a rescan has ended.
  int64_t RescansRecorded();
  bool WaitForRescanAfter(int64_t count, std::chrono::seconds timeout);
  std::string DatabaseSignature();

  BootedImage& image_;
  Emulated::Machine& machine_;
  bool running_ = false;
  int64_t lastRescanClock_ = 0;  // machine seconds when the last rescan was seen
};

}  // namespace Sim
