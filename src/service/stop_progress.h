#pragma once
// While the service stops, the service manager expects to hear from it: a stop
// pending report whose check point has not risen within the wait hint counts as a
// service that hangs. StopProgress calls its report function every interval from a
// thread of its own, until it is destroyed.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace Service {

class StopProgress {
 public:
  StopProgress(uint32_t intervalMilliseconds, std::function<void()> report);
  // Ends the reports; no report runs after it has returned.
  ~StopProgress();
  StopProgress(const StopProgress&) = delete;
  StopProgress& operator=(const StopProgress&) = delete;

 private:
  void Run();

  const uint32_t intervalMilliseconds_;
  const std::function<void()> report_;
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace Service
