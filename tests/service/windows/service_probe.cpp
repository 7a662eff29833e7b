// A small service-control client for the end-to-end run under Wine: it starts,
// queries and stops a service through the service control manager and reports what
// it saw on standard output, one fact a line, for the script to check.
//   service_probe hold                keep the Wine session, and so its service
//                                     control manager, alive until killed
//   service_probe state NAME          the current state number, or "absent"
//   service_probe start NAME          start and wait for the running state
//   service_probe stop NAME EVENT     stop; report the stop-pending answer, whether
//                                     the named event was signalled, and the time
//                                     to stop
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr DWORD kPollMilliseconds = 20;
constexpr DWORD kStartLimitMilliseconds = 30000;

struct Service {
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = nullptr;
  ~Service() {
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
  }
};

bool Open(const wchar_t* name, DWORD access, Service* out) {
  out->manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (out->manager) out->service = OpenServiceW(out->manager, name, access);
  return out->service != nullptr;
}

DWORD State(SC_HANDLE service) {
  SERVICE_STATUS status{};
  return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

int PrintState(const wchar_t* name) {
  Service s;
  if (!Open(name, SERVICE_QUERY_STATUS, &s)) {
    const DWORD error = GetLastError();
    if (error != ERROR_SERVICE_DOES_NOT_EXIST) {
      std::printf("unknown: error %lu\n", error);
      return 1;
    }
    std::printf("absent\n");
    return 0;
  }
  std::printf("%lu\n", State(s.service));
  return 0;
}

int Start(const wchar_t* name) {
  Service s;
  if (!Open(name, SERVICE_START | SERVICE_QUERY_STATUS, &s)) return 2;
  if (!StartServiceW(s.service, 0, nullptr)) {
    std::printf("start failed %lu\n", GetLastError());
    return 1;
  }
  for (DWORD waited = 0; waited < kStartLimitMilliseconds; waited += kPollMilliseconds) {
    if (State(s.service) == SERVICE_RUNNING) {
      std::printf("running\n");
      return 0;
    }
    Sleep(kPollMilliseconds);
  }
  std::printf("not running: state %lu\n", State(s.service));
  return 1;
}

// A thread blocked on the logger event notes whether the service signalled it. (The
// service reports the stopped state microseconds after the signal, too soon for a
// query from outside to tell the two apart; the order is the service's own test.)
struct EventWatch {
  HANDLE event = nullptr;
  bool signalled = false;
  static DWORD WINAPI Run(void* self) {
    auto* watch = static_cast<EventWatch*>(self);
    watch->signalled = WaitForSingleObject(watch->event, 30000) == WAIT_OBJECT_0;
    return 0;
  }
};

int Stop(const wchar_t* name, const wchar_t* eventName) {
  Service s;
  if (!Open(name, SERVICE_STOP | SERVICE_QUERY_STATUS, &s)) return 2;
  EventWatch watch{OpenEventW(SYNCHRONIZE, FALSE, eventName)};
  std::printf("logger event %s\n", watch.event ? "open" : "absent");
  const HANDLE watcher = watch.event ? CreateThread(nullptr, 0, EventWatch::Run, &watch, 0, nullptr)
                                     : nullptr;
  SERVICE_STATUS status{};
  const ULONGLONG begin = GetTickCount64();
  if (!ControlService(s.service, SERVICE_CONTROL_STOP, &status)) {
    std::printf("stop failed %lu\n", GetLastError());
    return 1;
  }
  std::printf("answer state %lu wait hint %lu\n", status.dwCurrentState, status.dwWaitHint);
  DWORD state = 0;
  while ((state = State(s.service)) != SERVICE_STOPPED && GetTickCount64() - begin < 30000) {
    Sleep(kPollMilliseconds);
  }
  const ULONGLONG elapsed = GetTickCount64() - begin;
  if (watcher) {
    WaitForSingleObject(watcher, 5000);
    CloseHandle(watcher);
    CloseHandle(watch.event);
  }
  std::printf("logger event signalled: %s\n", watch.signalled ? "yes" : "no");
  std::printf("final state %lu after %llu ms\n", state, elapsed);
  return state == SERVICE_STOPPED ? 0 : 1;
}

// Reached the manager once, so that it runs before "ready" is printed: two programs
// started at once could otherwise each start a manager of their own.
int Hold() {
  const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return 1;
  CloseServiceHandle(manager);
  std::printf("ready\n");
  std::fflush(stdout);
  Sleep(INFINITE);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2 && std::wcscmp(argv[1], L"hold") == 0) return Hold();
  if (argc >= 3 && std::wcscmp(argv[1], L"state") == 0) return PrintState(argv[2]);
  if (argc >= 3 && std::wcscmp(argv[1], L"start") == 0) return Start(argv[2]);
  if (argc >= 4 && std::wcscmp(argv[1], L"stop") == 0) return Stop(argv[2], argv[3]);
  std::fprintf(stderr, "usage: service_probe state|start|stop NAME [EVENT]\n");
  return 2;
}
