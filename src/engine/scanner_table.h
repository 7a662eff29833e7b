#pragma once
// What the full rescan reads, in the order it reads it. Each step is one family of
// locations; its locations say where the entries live, how they are read, which
// LP_TYPE they get and, for entries that name a COM class, which column holds the
// class and which matcher code watches it.

#include <cstdint>
#include <span>
#include <string>

#include "platform/system.h"

class LoadPointEngine;

enum class ReadAs : uint8_t {
  kValues,           // every value: name and data
  kNamedValue,       // one value
  kList,             // one value split into items
  kSubkeys,          // every subkey with one of its values
  kExtensions,       // browser extensions
  kProtocolCatalog,  // Winsock protocol catalog entries
};

enum class ClassFrom : uint8_t { kNone, kEntryName, kCommandLine };

struct ScanLocation {
  ReadAs readAs;
  const char16_t* key;    // machine: below HKLM; per control set: below it; user: below the hive
  const char16_t* value;  // the value read (empty: the default value); null for kValues
  uint32_t type;
  int32_t wow64 = 0;      // 1: the key's 32-bit view, and its classes are 32-bit registrations
  ClassFrom classFrom = ClassFrom::kNone;
  uint32_t matcherCode = 0;
  const char16_t* display = nullptr;  // kSubkeys: the value giving DISPLAY_NAME (empty: default)
};

enum class ScanScope : uint8_t {
  kMachine,
  kPerControlSet,  // USER_ID is the control set
  kUserHives,      // USER_ID is the user's SID
  kNetworkProviders,
  kServices,
  kTasksWow64,
  kTasksNative,
  kBrowserHelperObjects,
  kStartupFolders,
  // No step of the table: the class keys that the scans watch for the locations
  // naming a class, re-read on their notifications (engine/class_server_reread.cpp).
  kClassServers,
  // No step either: the keys of the settings and file-extension checks, re-read by
  // running the checks (engine/check_findings.h).
  kChecks,
};

struct ScannerStep {
  ScanScope scope;
  std::span<const ScanLocation> locations;
};

// The steps of the rescan, in order.
std::span<const ScannerStep> ScannerTable();

// The 32-bit view of a SOFTWARE path: "Wow6432Node\" after its first component.
std::u16string Wow64Path(std::u16string_view path);

// Reads one location below root and reconciles what it finds. Returns how many
// extensions naming a class were found (only kExtensions counts them).
int32_t ScanLocationEntries(LoadPointEngine& engine, const ScanLocation& location,
                            Platform::Handle root, const std::u16string& keyPath,
                            const std::u16string& userId);

// Runs every step of ScannerTable(); with startFlag also the class step.
void RunScannerTable(LoadPointEngine& engine, int32_t startFlag);
