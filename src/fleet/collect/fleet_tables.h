#pragma once
// Writing a batch of stream messages into the central tables (laid out in
// fleet_schema.h): events, inventory snapshots and the record of dead letters.

#include <climits>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "fleet/collect/event_fields.h"
#include "fleet/links/pg_link.h"

namespace Fleet {

// An event message as it came (its bytes), as text; from the jsonb where a row
// predates the bytes.
constexpr char kStoredMessage[] = "coalesce(convert_from(message, 'UTF8'), event::text)";

// The bigint keys of machine ids (keys receives them by id), each new id given one in
// a statement of its own: a key once handed out stays that machine's.
bool MachineKeys(PgLink& pg, const std::vector<std::string>& ids, std::map<std::string, int64_t>* keys,
                 std::string* error);

// Why a message is not a valid inventory message; empty when it is one.
std::string InventoryProblem(const nlohmann::json& body);

// Valid event messages written in the current transaction. A message whose machine
// and key are stored already (or came earlier in the batch) is a repeat when its
// bytes are the same and a conflict when they differ: the stored one stays, and the
// conflict is the caller's to report. The rows go to the server part by part while
// the caller parses the next messages; each machine's counters and latest event
// follow what was stored.
class EventBatch {
 public:
  explicit EventBatch(PgLink& pg) : pg_(pg) {}
  enum class Added { kNew, kRepeat, kConflict };
  // fields are those of a valid event message of the machine with machineKey, bytes
  // its text as it came and index its place in the batch (what Finish names
  // conflicts by); bytes outlive the batch.
  Added Add(const EventFields& fields, int64_t machineKey, std::string_view bytes, size_t index);
  // Sends what was added since the last call.
  void Send();
  // conflicts receives the indexes of messages that differ from the stored event.
  bool Finish(std::vector<size_t>* conflicts, std::string* error);

 private:
  struct Machine {
    std::string id, name;
    int64_t lastKey = 0;
    std::string lastTime, lastAt;
    std::optional<int32_t> lastOffset;
    int64_t counts[4] = {0, 0, 0, 0};  // events, added, changed, removed: those stored
    int64_t lastAdded = INT64_MIN;     // the latest addition's UTC time, in seconds since 1970
  };
  struct Seen {
    size_t index;
    std::string_view bytes;
  };
  bool WriteThroughSessionTable(std::vector<size_t>* conflicts, std::string* error);
  PgLink& pg_;
  std::string rows_;  // in COPY's text format
  std::string keys_;  // the same events' rows of fleet_event_keys
  std::string beginError_;
  size_t sent_ = 0;
  bool started_ = false, copying_ = false, sendFailed_ = false;
  std::map<int64_t, Machine> machines_;                   // by machine key
  std::map<std::pair<int64_t, int64_t>, Seen> seen_;      // by machine key and event key
};

// Stores inventory parts; a closing message whose snapshot is complete replaces the
// machine's inventory. incomplete receives the closing messages that must wait for
// parts another collector has not committed yet (by index in closings).
bool WriteInventory(PgLink& pg, const std::vector<nlohmann::json>& parts,
                    const std::vector<nlohmann::json>& closings, std::vector<size_t>* incomplete,
                    std::string* error);
bool WriteDeadLetter(PgLink& pg, const std::string& subject, uint64_t sequence, const std::string& reason,
                     std::string* error);

}  // namespace Fleet
