#include "fleet/windows/export_service_win.h"

#include "fleet/windows/export_windows.h"
#include "platform/win32/win32_api.h"

namespace Fleet {
namespace {

// One service in the process: its state lives here for the dispatcher's callbacks.
struct ServiceState {
  std::function<int(const std::atomic<bool>&)> run;
  std::atomic<bool> stop{false};
  SERVICE_STATUS_HANDLE handle = nullptr;
  SERVICE_STATUS status{};
};
ServiceState* service = nullptr;

void Report(DWORD state, DWORD exitCode = 0) {
  service->status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  service->status.dwCurrentState = state;
  service->status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  service->status.dwWin32ExitCode = exitCode ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
  service->status.dwServiceSpecificExitCode = exitCode;
  service->status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 5000;
  SetServiceStatus(service->handle, &service->status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    // The exporter ends at its next step, after the batch in hand is acknowledged.
    service->stop = true;
    Report(SERVICE_STOP_PENDING);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  service->handle = RegisterServiceCtrlHandlerExW(reinterpret_cast<const wchar_t*>(kExportServiceName), Control,
                                                   nullptr);
  if (service->handle == nullptr) return;
  Report(SERVICE_RUNNING);
  const int code = service->run(service->stop);
  Report(SERVICE_STOPPED, service->stop ? 0 : static_cast<DWORD>(code));
}

}  // namespace

bool RunAsExportService(const std::function<int(const std::atomic<bool>& stop)>& run) {
  ServiceState state;
  state.run = run;
  service = &state;
  std::wstring name(kExportServiceName, kExportServiceName + std::char_traits<char16_t>::length(kExportServiceName));
  SERVICE_TABLE_ENTRYW table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
  const bool dispatched = StartServiceCtrlDispatcherW(table) != 0;
  service = nullptr;
  return dispatched;
}

bool SetExportRecoveryActions(std::string* error) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE own = manager ? OpenServiceW(manager, reinterpret_cast<const wchar_t*>(kExportServiceName),
                                         SERVICE_CHANGE_CONFIG | SERVICE_START)
                          : nullptr;
  SC_ACTION actions[] = {{SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 60000}};
  SERVICE_FAILURE_ACTIONSW failure{};
  failure.dwResetPeriod = 24 * 60 * 60;
  failure.cActions = 3;
  failure.lpsaActions = actions;
  // Without the flag only a crash counts as a failure, not a stop with an error code.
  SERVICE_FAILURE_ACTIONS_FLAG onErrors{TRUE};
  const bool set = own && ChangeServiceConfig2W(own, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) &&
                   ChangeServiceConfig2W(own, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onErrors);
  if (!set) *error = "cannot set the recovery actions of BrumevaleExport (error " + std::to_string(GetLastError()) + ")";
  if (own) CloseServiceHandle(own);
  if (manager) CloseServiceHandle(manager);
  return set;
}

}  // namespace Fleet
