#pragma once
// Where an entry lives on the machine: the registry key (hive and path) or the folder
// that holds it, worked out from its type, its user or control set and its names,
// by the same table the rescan reads its locations from, so the two never differ.

#include <string>

#include "reader/record/records.h"

namespace Reader {

// "HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run",
// "HKU\S-1-5-21-...\SOFTWARE\...\Run", "HKLM\SYSTEM\ControlSet001\Services\Name",
// "HKLM\...\Winlogon, value Userinit", or a folder; empty for a type the table lacks.
// displayName is the LoadPoints row's (a task's path), command its command line (a
// startup file's own path).
std::string EntryLocation(int32_t loadPointType, const std::string& user, const std::string& controlSet,
                          const std::string& entry, const std::string& displayName, const std::string& command);

// The location of what an event names: a load point's, a setting's key, an
// extension's class key.
std::string EventLocation(const EventRecord& event);
std::string PointLocation(const LoadPointRecord& point);

// An entry as every view names it: its entry name, and its display name beside it
// when it has another: "{GUID} (\Vendor\Updater)".
std::string EntryLabel(const std::string& entry, const std::string& displayName);

}  // namespace Reader
