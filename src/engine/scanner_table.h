#pragma once
// What the full rescan reads, in the order it reads it: the steps the families declare
// (families/common/scan_declaration.h), taken by rank.

#include <cstdint>
#include <span>
#include <string>

#include "families/common/scan_declaration.h"
#include "platform/system.h"

namespace Engine {

class LoadPointEngine;

// The steps of the rescan, in order.
std::span<const Families::ScannerStep> ScannerTable();

// The 32-bit view of a SOFTWARE path: "Wow6432Node\" after its first component.
std::u16string Wow64Path(std::u16string_view path);

// Reads one location below root and reconciles what it finds. Returns how many
// extensions naming a class were found (only kExtensions counts them).
int32_t ScanLocationEntries(LoadPointEngine& engine, const Families::ScanLocation& location,
                            Platform::Handle root, const std::u16string& keyPath,
                            const std::u16string& userId);

// Runs every step of ScannerTable(); with startFlag also the class step.
void RunScannerTable(LoadPointEngine& engine, int32_t startFlag);

}  // namespace Engine
