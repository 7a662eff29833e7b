#pragma once
// Services, drivers and network providers of one control set; ScanService, the rule
// for one service, serves the rescan and the live service handler alike.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "intake/location_codes.h"

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

// Every subkey of SYSTEM\<controlSet>\Services through ScanService.
void ScanControlSetServices(Ledger::LedgerContext& context, const std::u16string& controlSet);

// The providers named by Control\NetworkProvider\Order "ProviderOrder".
void ScanNetworkProviders(Ledger::LedgerContext& context, const std::u16string& controlSet);

// The providers named by order (a comma-separated list of service names) in one
// control set. Keys of added rows go to newKeys, of every reconciled row to seenKeys
// (either may be null).
void ReconcileNetworkProviders(Ledger::LedgerContext& context, const std::u16string& controlSet,
                               const std::u16string& order, std::vector<int32_t>* newKeys,
                               std::set<int32_t>* seenKeys);

// Reconciles one service or driver of the control set; 0 when it is no load point.
int32_t ScanService(Ledger::LedgerContext& context, const std::u16string& controlSet,
                    const std::u16string& serviceName, int32_t* outKey);

}  // namespace Families
