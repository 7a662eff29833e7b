#pragma once
// Facilities whose emulation has not been built yet: the service control manager,
// the trust provider and version resources. Each answers every call with a failure
// (kErrorNotSupported, or "no signature" / "no version resource"), so that code
// reaching them takes its documented failure path instead of a made-up answer.

#include "platform/service_manager.h"
#include "platform/trust.h"
#include "platform/version_info.h"

namespace Emulated {

class PendingServiceManager : public Platform::ServiceManager {
 public:
  Platform::Win32Error OpenSCManager(uint32_t, Platform::Handle*) override;
  Platform::Win32Error CreateService(Platform::Handle, const Platform::ServiceConfig&,
                                     Platform::Handle*) override;
  Platform::Win32Error OpenService(Platform::Handle, std::u16string_view, uint32_t,
                                   Platform::Handle*) override;
  Platform::Win32Error StartService(Platform::Handle, const std::vector<std::u16string>&) override;
  Platform::Win32Error ControlService(Platform::Handle, uint32_t, Platform::ServiceStatus*) override;
  Platform::Win32Error DeleteService(Platform::Handle) override;
  Platform::Win32Error CloseServiceHandle(Platform::Handle) override;
  Platform::Win32Error StartServiceCtrlDispatcher(const std::vector<Platform::ServiceTableEntry>&) override;
  Platform::Win32Error RegisterServiceCtrlHandler(std::u16string_view, Platform::ServiceControlFunction,
                                                  Platform::Handle*) override;
  Platform::Win32Error SetServiceStatus(Platform::Handle, const Platform::ServiceStatus&) override;
};

class PendingTrust : public Platform::Trust {
 public:
  Platform::TrustVerdict VerifyEmbedded(std::u16string_view) override;
  bool CatalogFunctionsAvailable(int) override;
  Platform::Win32Error CalculateCatalogHash(std::u16string_view, int, std::vector<uint8_t>*) override;
  std::optional<std::u16string> FindCatalogForHash(std::span<const uint8_t>) override;
  Platform::TrustVerdict VerifyCatalogMember(std::u16string_view, std::u16string_view,
                                             std::u16string_view) override;
};

class PendingVersionInfo : public Platform::VersionInfo {
 public:
  uint32_t GetFileVersionInfoSize(std::u16string_view) override;
  Platform::Win32Error GetFileVersionInfo(std::u16string_view, uint32_t, std::vector<uint8_t>*) override;
  bool VerQueryValue(std::span<const uint8_t>, std::u16string_view, std::span<const uint8_t>*) override;
};

}  // namespace Emulated
