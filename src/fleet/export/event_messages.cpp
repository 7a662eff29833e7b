#include "fleet/export/event_messages.h"

#include "fleet/export/machine_identity.h"
#include "fleet/export/row_json.h"

#include <cstdint>

#include "reader/history/event_format.h"
#include "reader/record/record_reader.h"

namespace Fleet {
namespace {

std::string Dumped(const nlohmann::json& body) {
  return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json Envelope(const MachineLabel& machine) {
  return {{"machine", machine.name}, {"machineId", machine.id}};
}

}  // namespace

EventMessages::EventMessages(MachineLabel machine) : machine_(std::move(machine)) {}
EventMessages::~EventMessages() = default;

bool EventMessages::Open(const std::string& path, std::string* error) {
  raw_.Close();
  path_ = path;
  reader_ = Reader::RecordReader::Open(path, error);
  readerLatest_ = 0;  // the first page opens one knowing every event it will read
  return reader_ != nullptr && raw_.Open(path, error);
}

bool EventMessages::ReadPage(int64_t after, int limit, EventPage* page, std::string* error) {
  *page = EventPage{};
  // The reader learns the users' names, the UTC offsets and the tables when it opens:
  // once the service has written events since, the page gets a reader opened afresh,
  // so that what the service noted while the exporter followed it is in the events
  // after, as the machine's own reader shows them. A record that stands still is read
  // to its end by one reader.
  // (A probe that fails keeps the reader in hand; the page is read all the same.)
  const int64_t latest = raw_.KeyBefore(INT64_MAX, 1);
  if (latest > readerLatest_ && latest > after) {
    std::unique_ptr<Reader::RecordReader> fresh = Reader::RecordReader::Open(path_, error);
    if (fresh == nullptr) return false;
    reader_ = std::move(fresh);
    readerLatest_ = latest;
  }
  std::vector<Reader::EventRecord> records;
  std::vector<RawEventText> raws;
  if (reader_->ReadEvents(after, limit, &records) != Reader::ReadResult::Ok)
    return *error = reader_->Error(), false;
  if (records.empty()) return true;
  // The raw rows of the same keys: a newer event written between the two reads
  // waits for the next page. Both come oldest first.
  if (!raw_.ReadEvents(after, static_cast<int>(records.size()), &raws, error)) return false;
  const std::string subject = EventSubject(machine_.token);
  auto raw = raws.begin();
  std::string rows;
  for (const Reader::EventRecord& record : records) {
    while (raw != raws.end() && raw->key < record.key) ++raw;
    if (raw == raws.end() || raw->key != record.key) break;
    // The reader's JSON as the record answers now: a display name or a user's name
    // it takes from rows that stand at this moment is kept as it was when sent, and
    // the fleet's history prints the event from these fields, not from today's rows.
    nlohmann::json body = Reader::EventJson(record);
    body["machine"] = machine_.name;
    body["machineId"] = machine_.id;
    body["key"] = record.key;
    // What the listing and the net change need beyond the JSON: foundByRescan says
    // only in part how the change was learnt.
    body["origin"] = record.origin;
    body["stateChange"] = record.stateChange;
    rows = "{\"ChangeEvents\":" + raw->changeEvent + ",\"ExtendedEvent\":" + raw->extendedEvent + "}";
    Outgoing& message = page->messages.emplace_back();
    message.subject = subject;
    message.msgId = machine_.id + ":" + std::to_string(record.key);
    message.data.reserve(rows.size() + 2048);
    AppendObjectWith(body, "raw", rows, &message.data);
    page->keys.push_back(record.key);
    if (record.change.eventType == kRescanEndEventType) page->latestRescanKey = record.key;
  }
  return true;
}

bool EventMessages::Inventory(int64_t snapshot, std::vector<Outgoing>* messages, std::string* hash,
                              std::string* error) {
  messages->clear();
  std::vector<nlohmann::json> rows;
  if (!raw_.ReadLoadPoints(&rows, error)) return false;
  std::string all;
  for (const nlohmann::json& row : rows) all += Dumped(row) + '\n';
  *hash = Sha256Hex(all);
  const std::string subject = InventorySubject(machine_.token);
  const std::string idPrefix = machine_.id + ":inventory:" + std::to_string(snapshot) + ":";
  for (const nlohmann::json& row : rows) {
    nlohmann::json body = Envelope(machine_);
    body["snapshot"] = snapshot;
    body["loadPoint"] = row;
    messages->push_back({subject, idPrefix + std::to_string(row.value("KEY", int64_t{0})), Dumped(body)});
  }
  nlohmann::json closing = Envelope(machine_);
  closing["snapshot"] = snapshot;
  closing["rows"] = rows.size();
  closing["hash"] = *hash;
  messages->push_back({subject, idPrefix + "end", Dumped(closing)});
  return true;
}

int64_t KeyOfEventMessage(const std::string& data, const std::string& machineId) {
  const nlohmann::json body = nlohmann::json::parse(data, nullptr, false);
  if (!body.is_object()) return 0;
  if (!machineId.empty() && body.value("machineId", std::string()) != machineId) return 0;
  const auto key = body.find("key");
  return key != body.end() && key->is_number_integer() ? key->get<int64_t>() : 0;
}

std::string HashOfClosingMessage(const std::string& data, const std::string& machineId) {
  const nlohmann::json body = nlohmann::json::parse(data, nullptr, false);
  if (!body.is_object() || !body.contains("rows") || body.value("machineId", std::string()) != machineId) return "";
  const auto hash = body.find("hash");
  return hash != body.end() && hash->is_string() ? hash->get<std::string>() : "";
}

int64_t SnapshotOfClosingMessage(const std::string& data) {
  const nlohmann::json body = nlohmann::json::parse(data, nullptr, false);
  if (!body.is_object() || !body.contains("rows")) return 0;
  const auto snapshot = body.find("snapshot");
  return snapshot != body.end() && snapshot->is_number_integer() ? snapshot->get<int64_t>() : 0;
}

}  // namespace Fleet
