#include "service/stop_progress.h"

#include <chrono>

namespace Service {

StopProgress::StopProgress(uint32_t intervalMilliseconds, std::function<void()> report)
    : intervalMilliseconds_(intervalMilliseconds), report_(std::move(report)) {
  thread_ = std::thread([this] { Run(); });
}

StopProgress::~StopProgress() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  finished_.notify_all();
  thread_.join();
}

void StopProgress::Run() {
  std::unique_lock lock(mutex_);
  const auto interval = std::chrono::milliseconds(intervalMilliseconds_);
  while (!finished_.wait_for(lock, interval, [this] { return done_; })) {
    lock.unlock();
    report_();
    lock.lock();
  }
}

}  // namespace Service
