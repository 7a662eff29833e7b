#pragma once
// The inventory as people read it: only the control set the machine boots from
// (unless every one is asked for), rows by location and then entry.

#include <string>
#include <vector>

#include "reader/inventory/inventory_format.h"

namespace Reader {

// The control set the machine runs on, as the record tells it: the one most rows
// belong to (a rescan adds every control set's rows alike, so the current one is the
// set live changes also reach), the lower-numbered on a tie; empty when no row names
// one. A record does not keep the machine's Select\Current value.
std::string CurrentControlSet(const std::vector<InventoryItem>& items);

// Drops the rows of every other control set.
void KeepControlSet(const std::string& controlSet, std::vector<InventoryItem>* items);

// By location, then entry (letter case of A to Z ignored), then key.
void SortByLocation(std::vector<InventoryItem>* items);

// What the loader starts for a row, as a command line for the file check: a
// startup shortcut is its own path, spaces and all (its target is read from it); a
// class entry's file is its resolved server; a terminal-server startup program
// named bare is a program (".exe"), where other bare names are libraries.
std::string LoadedCommand(const LoadPointRecord& point);

// The operating system vendor: the signer that validly signs most of the checked
// files under the Windows folder (catalog-signed system files included); empty
// when no file there was checked and found signed.
std::string OperatingSystemVendor(const std::vector<InventoryItem>& items);

}  // namespace Reader
