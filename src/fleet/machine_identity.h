#pragma once
// How a machine is named on the stream: a subject token made from its name and a
// stable id that survives a rename.

#include <string>

namespace Fleet {

// NAME with every character outside A-Z a-z 0-9 _ - replaced by one "_" (a character
// of several UTF-8 bytes counts once), so that the name is a single subject token.
std::string SubjectToken(const std::string& name);

// The id of a machine known only by a name given on the command line: the lower-case
// hex SHA-256 of the name's UTF-8 bytes.
std::string MachineIdOfName(const std::string& name);

std::string EventSubject(const std::string& machine);      // brumevale.events.<machine>
std::string InventorySubject(const std::string& machine);  // brumevale.inventory.<machine>
std::string DeadSubject(const std::string& machine);       // brumevale.dead.<machine>

}  // namespace Fleet
