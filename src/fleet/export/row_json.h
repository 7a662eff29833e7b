#pragma once
// The JSON text of a record's row written straight from SQLite: the same bytes as
// nlohmann::json's dump (no indentation, invalid UTF-8 replaced) of the object with
// one member per column, keys in their sorted order, a later column of the same name
// winning. The exporter writes two rows for every event; building each as an object
// first, then printing and freeing it, was most of its heap calls, and under Wine a
// heap call costs several times what it costs on Linux.

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "database/sql_statement.h"

namespace Fleet {

// A JSON string of text, quoted and escaped as the dump escapes it.
void AppendJsonString(std::string_view text, std::string* out);

// The columns of a statement in the order their members are printed.
std::vector<int> MemberOrder(const Database::SqlStatement& stmt);

// The current row of stmt as a JSON object, its columns taken in order.
void AppendRowJson(const Database::SqlStatement& stmt, const std::vector<int>& order, std::string* out);

// The dump of object (which must be one) with one more member, name, whose value is
// the JSON text value, put in its sorted place; a member of that name in object is
// replaced.
void AppendObjectWith(const nlohmann::json& object, const std::string& name, std::string_view value,
                      std::string* out);

}  // namespace Fleet
