#pragma once
// An exported event read back from fleet_events as the reader's record, so that the
// fleet's history is filtered and printed by the reader's own routines.

#include <nlohmann/json.hpp>

#include "reader/record/records.h"

namespace Fleet {

Reader::EventRecord EventRecordOfMessage(const nlohmann::json& message);

}  // namespace Fleet
