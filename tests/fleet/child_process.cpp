#include "child_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& logPath) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const int rc = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  exited_ = false;
  if (rc != 0) pid_ = -1;
  return rc == 0;
}

int ChildProcess::Wait(int timeoutMs) {
  if (pid_ < 0) return exited_ ? (WIFEXITED(status_) ? WEXITSTATUS(status_) : -WTERMSIG(status_)) : -1;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    if (waitpid(pid_, &status_, WNOHANG) == pid_) {
      pid_ = -1;
      exited_ = true;
      return WIFEXITED(status_) ? WEXITSTATUS(status_) : -WTERMSIG(status_);
    }
    if (std::chrono::steady_clock::now() > until) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool ChildProcess::Running() { return pid_ > 0 && Wait(0) == -1 && pid_ > 0; }

int ChildProcess::Stop(int graceMs) {
  if (pid_ < 0) return Wait(0);
  kill(pid_, SIGTERM);
  const int code = Wait(graceMs);
  if (code != -1 || pid_ < 0) return code;
  Kill();
  return Wait(10000);
}

void ChildProcess::Kill() {
  if (pid_ < 0) return;
  kill(pid_, SIGKILL);
  Wait(10000);
}

int RunProgram(const std::vector<std::string>& argv, std::string* out, int timeoutMs) {
  char pattern[] = "/tmp/brumevale-run-XXXXXX";
  const int fd = mkstemp(pattern);
  close(fd);
  ChildProcess child;
  int code = -1;
  if (child.Start(argv, pattern)) {
    code = child.Wait(timeoutMs);
    if (code == -1) code = child.Stop(1000);
  }
  std::stringstream text;
  text << std::ifstream(pattern).rdbuf();
  if (out != nullptr) *out = text.str();
  std::remove(pattern);
  return code;
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t size = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size);
  close(fd);
  return ntohs(addr.sin_port);
}

bool WaitForPort(int port, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < until) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    if (ok) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}
