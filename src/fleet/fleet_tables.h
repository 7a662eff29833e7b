#pragma once
// The central tables in PostgreSQL, and writing a batch of stream messages into them.
//   fleet_events     one row per change event of every machine, the whole message as jsonb
//   fleet_inventory  the latest complete inventory of each machine
//   fleet_machines   each machine's name, latest event and current snapshot
// plus fleet_inventory_parts (snapshots still arriving) and fleet_dead_letters.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "fleet/pg_link.h"

namespace Fleet {

// An event message as it came (its bytes), as text; from the jsonb where a row
// predates the bytes.
constexpr char kStoredMessage[] = "coalesce(convert_from(message, 'UTF8'), event::text)";

// The layout of the tables this build writes: 1 the first (no fleet_schema), 2 with
// the message bytes and the query indexes.
constexpr int kFleetSchemaVersion = 2;

// brumevale fleet migrate, as the tables' owner: creates what is missing and brings
// older tables to kFleetSchemaVersion, recorded in fleet_schema.
bool MigrateFleetTables(PgLink& pg, std::string* error);
// The collector's start: nothing to do when the tables are at this build's version
// (a role with row rights only may run it); otherwise it migrates them itself when
// it may, and says to run fleet migrate when it may not. Several may start at once.
bool EnsureFleetTables(PgLink& pg, std::string* error);

// Why a message is not a valid event or inventory message; empty when it is one.
std::string EventProblem(const nlohmann::json& body);
std::string InventoryProblem(const nlohmann::json& body);

// Valid event messages written in the current transaction. A message whose machine
// and key are stored already (or came earlier in the batch) is a repeat when its
// bytes are the same and a conflict when they differ: the stored one stays, and the
// conflict is the caller's to report. The rows go to the server part by part while
// the caller parses the next messages.
class EventBatch {
 public:
  explicit EventBatch(PgLink& pg) : pg_(pg) {}
  enum class Added { kNew, kRepeat, kConflict };
  // body is a valid event message, bytes its text as it came and index its place in
  // the batch (what Finish names conflicts by); bytes outlive the batch.
  Added Add(const nlohmann::json& body, std::string_view bytes, size_t index);
  // Sends what was added since the last call.
  void Send();
  // conflicts receives the indexes of messages that differ from the stored event.
  bool Finish(std::vector<size_t>* conflicts, std::string* error);

 private:
  struct Latest {
    int64_t key;
    std::string machine, eventTime;
  };
  struct Seen {
    size_t index;
    std::string_view bytes;
  };
  bool WriteThroughSessionTable(std::vector<size_t>* conflicts, std::string* error);
  PgLink& pg_;
  std::string rows_;  // in COPY's text format
  std::string beginError_;
  size_t sent_ = 0;
  bool started_ = false, copying_ = false, sendFailed_ = false;
  std::map<std::string, Latest> latest_;  // each machine's latest event, by machine id
  std::map<std::pair<std::string, int64_t>, Seen> seen_;  // by machine id and key
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
