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

// The lower-case hex SHA-256 of bytes.
std::string Sha256Hex(const std::string& bytes);

// Whether id can stand as the machine's subject token as it is: A-Z a-z 0-9 _ - only,
// at most 128 characters. A MachineGuid and the SHA-256 of a name both can.
bool IsMachineId(const std::string& id);

// A machine's subjects carry its id, never its name.
std::string EventSubject(const std::string& machineId);      // brumevale.events.<machineId>
std::string InventorySubject(const std::string& machineId);  // brumevale.inventory.<machineId>
std::string DeadSubject(const std::string& machineId);       // brumevale.dead.<machineId>

}  // namespace Fleet
