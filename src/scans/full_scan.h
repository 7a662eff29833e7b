#pragma once
// The full load-point rescan: every autostart location of the machine is read and
// reconciled with the LoadPoints table. BeginFullScan marks every row as pending,
// each found entry is reconciled (and leaves the pending set), EndFullScan removes
// what was not found and commits. The reconcile and change-event routines are also
// what the event handlers use for single entries.

#include <cstdint>
#include <string>

class LoadPointEngine;
class ExtendedEventData;

// Runs the whole rescan in one exclusive transaction. startFlag 1 on the first scan
// after start-up (entries are then not reported as found at run time).
int32_t FullLoadPointScan(LoadPointEngine& engine, int32_t startFlag);

// Rebuilds the user lists, fills the pending set and opens the transaction.
void BeginFullScan(LoadPointEngine& engine);
// Removes the rows left pending, commits, and records one summary event on change.
void EndFullScan(LoadPointEngine& engine);

// Finds or writes one load point. Results: 1 found unchanged during a scan; 2
// command line or display name changed (outside a scan also a startup-folder entry
// found unchanged); 5 added; 6 found unchanged outside a scan. outKey (may be null)
// receives the row's KEY.
int32_t ReconcileLoadPoint(LoadPointEngine& engine, uint32_t type, const std::u16string& userId,
                           const std::u16string& entryName, const std::u16string& commandLine,
                           const std::u16string& displayName, int32_t* outKey);

// Writes one ChangeEvents row (and its ExtendedEvent when extendedData is filled).
// The key of the new row, or 0 on failure.
int32_t RecordChangeEvent(LoadPointEngine& engine, const std::u16string& eventTime,
                          int32_t targetKey, int32_t processKey, uint32_t eventType,
                          ExtendedEventData* extendedData);

// Resolves classText, stores the result in the Indirection row and watches the
// class's server keys under matcherCode.
void RefreshIndirection(LoadPointEngine& engine, const std::u16string& classText,
                        int32_t loadPointKey, int32_t indirectionKey, uint32_t matcherCode,
                        int32_t wow64);

// Reconciles one service or driver of the control set; 0 when it is no load point.
int32_t ScanService(LoadPointEngine& engine, const std::u16string& controlSet,
                    const std::u16string& serviceName, int32_t* outKey);
