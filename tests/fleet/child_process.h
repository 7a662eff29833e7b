#pragma once
// A program the test starts, its output in a log file, stopped (or killed) when the
// object goes.

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::vector<std::string>& argv, const std::string& logPath);
  bool Running();
  // SIGTERM, then SIGKILL after graceMs; returns the exit code (-signal when killed).
  int Stop(int graceMs = 5000);
  void Kill();  // SIGKILL, at once
  // Waits for the exit; -1 while it still runs after timeoutMs.
  int Wait(int timeoutMs);
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool exited_ = false;
};

// Runs a program to its end: its exit code, its output (stdout and stderr) in out.
int RunProgram(const std::vector<std::string>& argv, std::string* out, int timeoutMs = 120000);

// A TCP port on 127.0.0.1 that nothing listens on right now.
int FreePort();
// True once something accepts connections on the port.
bool WaitForPort(int port, int timeoutMs);
