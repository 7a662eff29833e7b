#pragma once
// Services, drivers and network providers of one control set. ScanService, the rule
// for one service, is declared with the rescan in full_scan.h because the service
// event handler uses it too.

#include <string>

class LoadPointEngine;

inline constexpr uint32_t kServiceType = 12;
inline constexpr uint32_t kDriverType = 29;
inline constexpr uint32_t kNetworkProviderType = 58;

// Every subkey of SYSTEM\<controlSet>\Services through ScanService.
void ScanControlSetServices(LoadPointEngine& engine, const std::u16string& controlSet);

// The providers named by Control\NetworkProvider\Order "ProviderOrder".
void ScanNetworkProviders(LoadPointEngine& engine, const std::u16string& controlSet);
