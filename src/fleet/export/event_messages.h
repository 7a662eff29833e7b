#pragma once
// What one machine's record looks like on the stream. An event message is the
// reader's JSON of the event plus machine, machineId, key, origin and stateChange
// (the EventOrigin row's, 0 without one) and the raw ChangeEvents and ExtendedEvent
// rows (what the audit compares); its message id is
// "<machineId>:<key>". An inventory is one message per load point with the
// snapshot's id (the key of the settings check that ended the rescan), then a
// closing message with the row count.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fleet/links/jetstream_link.h"
#include "fleet/export/raw_rows.h"

namespace Reader {
class RecordReader;
}

namespace Fleet {

struct MachineLabel {
  std::string name;     // as given, or the computer name
  std::string token;    // the subject token: the id
  std::string id;       // --machine-id, the SHA-256 of the name, or the MachineGuid
};

struct EventPage {
  std::vector<Outgoing> messages;
  std::vector<int64_t> keys;
  int64_t latestRescanKey = 0;  // the last settings check in the page, 0 when none
};

class EventMessages {
 public:
  explicit EventMessages(MachineLabel machine);
  ~EventMessages();

  bool Open(const std::string& path, std::string* error);
  // The events with KEY > after, up to limit, as messages.
  bool ReadPage(int64_t after, int limit, EventPage* page, std::string* error);
  // The load points as they stand now, under the snapshot id, closing message last;
  // hash receives the SHA-256 of the rows as sent, which the closing message carries.
  bool Inventory(int64_t snapshot, std::vector<Outgoing>* messages, std::string* hash, std::string* error);

  RecordFile& Raw() { return raw_; }
  const MachineLabel& Machine() const { return machine_; }

 private:
  MachineLabel machine_;
  std::string path_;
  std::unique_ptr<Reader::RecordReader> reader_;
  int64_t readerLatest_ = 0;  // the record's latest event key when reader_ was opened
  RecordFile raw_;
};

// The event key a stored event message carries; 0 when it carries none or when it
// is not machineId's (given, the message must carry that machineId).
int64_t KeyOfEventMessage(const std::string& data, const std::string& machineId = "");
// The snapshot of a closing inventory message; 0 when it is not one.
int64_t SnapshotOfClosingMessage(const std::string& data);
// The hash of the rows a closing inventory message of machineId carries; "" when none.
std::string HashOfClosingMessage(const std::string& data, const std::string& machineId);

}  // namespace Fleet
