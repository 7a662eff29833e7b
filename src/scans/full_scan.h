#pragma once
// The full load-point rescan: every autostart location of the machine is read and
// reconciled with the LoadPoints table, inside the frame of ledger/rescan_pass.h.

#include <cstdint>
#include <string>

#include "ledger/load_point_ledger.h"
#include "ledger/rescan_pass.h"

class LoadPointEngine;

// Runs the whole rescan in one exclusive transaction. startFlag 1 on the first scan
// after start-up (entries are then not reported as found at run time).
int32_t FullLoadPointScan(LoadPointEngine& engine, int32_t startFlag);

// Resolves classText, stores the result in the Indirection row and watches the
// class's server keys under matcherCode.
void RefreshIndirection(LoadPointEngine& engine, const std::u16string& classText,
                        int32_t loadPointKey, int32_t indirectionKey, uint32_t matcherCode,
                        int32_t wow64);

// Reconciles one service or driver of the control set; 0 when it is no load point.
int32_t ScanService(LoadPointEngine& engine, const std::u16string& controlSet,
                    const std::u16string& serviceName, int32_t* outKey);
