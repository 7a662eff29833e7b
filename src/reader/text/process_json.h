#pragma once
// The process behind a record in the JSON and CSV forms that the history and the
// inventory share: the process's fields are null when no process is known, the
// signature's when its image was not signed.

#include <string>

#include <nlohmann/json.hpp>

#include "reader/record/records.h"

namespace Reader {

nlohmann::json TextOrNull(bool present, const std::string& text);

// Adds process, processPath, fileVersion, companyName, signer, signatureValid and
// downloadAddress to object; known is false when the record names no process.
void AddProcessJson(const ProcessFacts& facts, bool known, nlohmann::json* object);

// A JSON value as one CSV field: null as an empty field, a text as itself (quoted
// where it must be), anything else as its JSON.
std::string CsvValue(const nlohmann::json& value);

}  // namespace Reader
