#pragma once
// Services, drivers and network providers of one control set. ScanService, the rule
// for one service, is declared with the rescan in full_scan.h because the service
// event handler uses it too.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

class LoadPointEngine;

inline constexpr uint32_t kServiceType = 12;
inline constexpr uint32_t kDriverType = 29;
inline constexpr uint32_t kNetworkProviderType = 58;

// Every subkey of SYSTEM\<controlSet>\Services through ScanService.
void ScanControlSetServices(LoadPointEngine& engine, const std::u16string& controlSet);

// The providers named by Control\NetworkProvider\Order "ProviderOrder".
void ScanNetworkProviders(LoadPointEngine& engine, const std::u16string& controlSet);

// The providers named by order (a comma-separated list of service names) in one
// control set. Keys of added rows go to newKeys, of every reconciled row to seenKeys
// (either may be null).
void ReconcileNetworkProviders(LoadPointEngine& engine, const std::u16string& controlSet,
                               const std::u16string& order, std::vector<int32_t>* newKeys,
                               std::set<int32_t>* seenKeys);
