#pragma once
// The facts of one file that a Processes row records: size, times, long lower-case
// path and the version strings of its version resource.

#include <string>

#include "database/file_information.h"
#include "platform/system.h"

namespace FileInfo {

// Fills record from the file at path. False (the record left empty) when the file's
// attributes cannot be read, path is a folder, or its long absolute form cannot be
// built. A file without a version resource is still a success, with
// versionInformation 0 and empty version strings.
bool LoadFileInformation(Platform::System& system, Database::FileInformation& record,
                         const std::u16string& path);

// Reads the version strings of record.fullPath. False when the file has no version
// block; true also for a block without translations (the strings stay empty).
bool LoadVersionInformation(Platform::System& system, Database::FileInformation& record);

}  // namespace FileInfo
