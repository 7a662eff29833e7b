#include "platform/win32/service_manager_win32.h"

#include "platform/win32/win32_text.h"

namespace Win32 {
namespace {

using Platform::Win32Error;

Win32Error Result(BOOL ok) { return ok ? ERROR_SUCCESS : LastError(); }

SC_HANDLE ToService(Platform::Handle handle) { return reinterpret_cast<SC_HANDLE>(handle); }

Win32Error Opened(SC_HANDLE handle, Platform::Handle* out) {
  if (handle == nullptr) return LastError();
  *out = reinterpret_cast<Platform::Handle>(handle);
  return ERROR_SUCCESS;
}

// Windows calls a service's main function through a plain function pointer; the
// dispatcher's table of std::function lives here for the process while it runs.
constexpr size_t kMaxServices = 4;
const std::vector<Platform::ServiceTableEntry>* g_dispatchTable = nullptr;

std::vector<std::u16string> Arguments(DWORD count, LPWSTR* values) {
  std::vector<std::u16string> arguments;
  for (DWORD i = 0; i < count; ++i) arguments.push_back(FromWide(values[i]));
  return arguments;
}

template <size_t Index>
void WINAPI ServiceMainAt(DWORD count, LPWSTR* values) {
  (*g_dispatchTable)[Index].serviceMain(Arguments(count, values));
}

constexpr LPSERVICE_MAIN_FUNCTIONW kServiceMains[kMaxServices] = {
    ServiceMainAt<0>, ServiceMainAt<1>, ServiceMainAt<2>, ServiceMainAt<3>};

DWORD WINAPI ControlHandler(DWORD control, DWORD, LPVOID, LPVOID context) {
  return (*static_cast<Platform::ServiceControlExFunction*>(context))(control);
}

}  // namespace

Win32Error ServiceManager::OpenSCManager(uint32_t access, Handle* manager) {
  return Opened(OpenSCManagerW(nullptr, nullptr, access), manager);
}

Win32Error ServiceManager::CreateService(Handle manager, const Platform::ServiceConfig& config,
                                         Handle* service) {
  const std::wstring name = Wide(config.serviceName), display = Wide(config.displayName),
                     binary = Wide(config.binaryPathName), group = Wide(config.loadOrderGroup),
                     account = Wide(config.serviceStartName);
  return Opened(CreateServiceW(ToService(manager), name.c_str(), display.c_str(),
                               config.desiredAccess, config.serviceType, config.startType,
                               config.errorControl, binary.c_str(), WideOrNull(group), nullptr,
                               nullptr, WideOrNull(account), nullptr),
                service);
}

Win32Error ServiceManager::OpenService(Handle manager, std::u16string_view serviceName,
                                       uint32_t access, Handle* service) {
  return Opened(OpenServiceW(ToService(manager), Wide(serviceName).c_str(), access), service);
}

Win32Error ServiceManager::StartService(Handle service,
                                        const std::vector<std::u16string>& arguments) {
  std::vector<std::wstring> texts;
  for (const auto& argument : arguments) texts.push_back(Wide(argument));
  std::vector<LPCWSTR> pointers;
  for (const auto& text : texts) pointers.push_back(text.c_str());
  return Result(StartServiceW(ToService(service), static_cast<DWORD>(pointers.size()),
                              pointers.empty() ? nullptr : pointers.data()));
}

Win32Error ServiceManager::ControlService(Handle service, uint32_t control,
                                          Platform::ServiceStatus* status) {
  SERVICE_STATUS answer{};
  const BOOL ok = ::ControlService(ToService(service), control, &answer);
  if (ok && status != nullptr) {
    *status = {answer.dwServiceType,  answer.dwCurrentState,
               answer.dwControlsAccepted, answer.dwWin32ExitCode,
               answer.dwServiceSpecificExitCode, answer.dwCheckPoint, answer.dwWaitHint};
  }
  return Result(ok);
}

Win32Error ServiceManager::DeleteService(Handle service) {
  return Result(::DeleteService(ToService(service)));
}

Win32Error ServiceManager::CloseServiceHandle(Handle handle) {
  return Result(::CloseServiceHandle(ToService(handle)));
}

Win32Error ServiceManager::StartServiceCtrlDispatcher(
    const std::vector<Platform::ServiceTableEntry>& table) {
  if (table.size() > kMaxServices || g_dispatchTable != nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<std::wstring> names;
  for (const auto& entry : table) names.push_back(Wide(entry.serviceName));
  std::vector<SERVICE_TABLE_ENTRYW> entries;
  for (size_t i = 0; i < table.size(); ++i) entries.push_back({names[i].data(), kServiceMains[i]});
  entries.push_back({nullptr, nullptr});
  g_dispatchTable = &table;
  const BOOL ok = StartServiceCtrlDispatcherW(entries.data());
  const Win32Error result = Result(ok);
  g_dispatchTable = nullptr;
  return result;
}

// Both forms register through the extended call, which carries the context that
// finds the function again; a plain handler is kept from the pre-shutdown control
// the way RegisterServiceCtrlHandlerW would keep it.
Win32Error ServiceManager::RegisterServiceCtrlHandler(std::u16string_view serviceName,
                                                      Platform::ServiceControlFunction handler,
                                                      Handle* statusHandle) {
  return RegisterServiceCtrlHandlerEx(
      serviceName,
      [handler = std::move(handler)](uint32_t control) -> Win32Error {
        if (control == SERVICE_CONTROL_PRESHUTDOWN) return ERROR_CALL_NOT_IMPLEMENTED;
        handler(control);
        return NO_ERROR;
      },
      statusHandle);
}

Win32Error ServiceManager::RegisterServiceCtrlHandlerEx(std::u16string_view serviceName,
                                                        Platform::ServiceControlExFunction handler,
                                                        Handle* statusHandle) {
  std::lock_guard lock(handlersMutex_);
  auto stored = std::make_unique<Platform::ServiceControlExFunction>(std::move(handler));
  const SERVICE_STATUS_HANDLE registered =
      RegisterServiceCtrlHandlerExW(Wide(serviceName).c_str(), ControlHandler, stored.get());
  if (registered == nullptr) return LastError();
  handlers_.push_back(std::move(stored));
  *statusHandle = reinterpret_cast<Handle>(registered);
  return ERROR_SUCCESS;
}

Win32Error ServiceManager::SetServiceStatus(Handle statusHandle,
                                            const Platform::ServiceStatus& status) {
  SERVICE_STATUS record{status.serviceType,     status.currentState,
                        status.controlsAccepted, status.win32ExitCode,
                        status.serviceSpecificExitCode, status.checkPoint, status.waitHint};
  return Result(::SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(statusHandle),
                                   &record));
}

}  // namespace Win32
