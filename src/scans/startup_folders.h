#pragma once
// Files in the startup folders as load points: type 27 for the common startup
// folder, type 28 for a user's own one (USER_ID = the profile folder name).

#include <cstdint>
#include <string>
#include <vector>

class LoadPointEngine;

inline constexpr uint32_t kCommonStartupType = 27;
inline constexpr uint32_t kUserStartupType = 28;

// Root of the profile folders (no trailing backslash) and the suffix that leads from
// a profile folder to its startup folder on this machine's Windows version.
std::u16string ProfilesRoot(LoadPointEngine& engine);
std::u16string UserStartupSuffix(LoadPointEngine& engine);
// Names of the visible directories directly below the profiles root.
std::vector<std::u16string> ListProfileFolders(LoadPointEngine& engine);

// The rescan step: the common folder, then each profile's folder except "All Users".
int32_t ScanStartupFolders(LoadPointEngine& engine);
// Reconciles every file (not subfolder) directly in folderPath. Returns the count.
int32_t ScanStartupFolder(LoadPointEngine& engine, const std::u16string& folderPath,
                          uint32_t type, const std::u16string& userId);
// Removes the row (type, userId, entryName) with its Indirection and NotifyList rows;
// with recordEvent 1 records EVENT_TYPE 2 for it. 1 when a row was removed.
int32_t RemoveFolderLoadPoint(LoadPointEngine& engine, uint32_t type,
                              const std::u16string& userId, const std::u16string& entryName,
                              int32_t recordEvent);
