#include "fleet/export/exporter.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <ostream>
#include <thread>

#include "fleet/export/machine_identity.h"

namespace Fleet {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPageSize = 256;  // one page is one window of outstanding acknowledgements

class Exporter {
 public:
  Exporter(const ExportOptions& options, const std::atomic<bool>& stop, std::ostream& err)
      : options_(options), stop_(stop), err_(err), messages_(options.machine) {}

  int Run();

 private:
  bool Reach();
  bool FindStart();
  int ExportPage();  // events sent, 0 when none are new, -1 on a failure
  bool SendInventory();
  void Trouble(const std::string& what);
  void Pause();
  bool GaveUp() const;

  const ExportOptions& options_;
  const std::atomic<bool>& stop_;
  std::ostream& err_;
  EventMessages messages_;
  JetStreamLink link_;
  bool started_ = false;
  int64_t position_ = 0;          // every event up to this key is in the stream
  // The page after the one in flight, read while its acknowledgements came; it serves
  // only while it follows position_.
  std::optional<EventPage> ahead_;
  int64_t aheadAfter_ = -1;
  int64_t pendingInventory_ = 0;  // a snapshot still to send
  std::string sentInventory_;     // the hash of the load points last sent
  bool troubled_ = false;         // one line per outage, not one per retry
  int backoffMs_ = 250;
  Clock::time_point lastProgress_ = Clock::now();
};

void Exporter::Trouble(const std::string& what) {
  if (!troubled_) err_ << "brumevale export: " << what << "; retrying" << std::endl;
  troubled_ = true;
}

void Exporter::Pause() {
  const auto until = Clock::now() + std::chrono::milliseconds(backoffMs_);
  while (!stop_ && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  backoffMs_ = std::min(backoffMs_ * 2, 5000);
}

bool Exporter::GaveUp() const {
  return !options_.follow && Clock::now() - lastProgress_ > std::chrono::seconds(options_.giveUpSeconds);
}

bool Exporter::Reach() {
  std::string error;
  if (link_.Connection() == nullptr && !link_.Connect(options_.nats, &error)) return Trouble("cannot reach " + error), false;
  if (!link_.CheckStream(&error)) return Trouble(error), false;
  return true;
}

// The last event message on the machine's own subject (named by its id) says where
// the stream stands, if it is the machine's own: one that claims another id, or a
// key the record does not hold yet, is not taken as the place to resume, and
// everything is sent again (the collector drops what it holds already). The page
// before it is sent again while the stream still drops repeats: an event whose
// acknowledgement was lost just before a crash may sit under later ones.
bool Exporter::FindStart() {
  std::optional<StoredMessage> last;
  std::string error;
  if (!link_.LastMessage(EventSubject(options_.machine.token), &last, &error)) return Trouble(error), false;
  position_ = last ? KeyOfEventMessage(last->data, options_.machine.id) : 0;
  if (position_ > 0 && messages_.Raw().KeyBefore(position_, 1) != position_) position_ = 0;
  if (last && position_ == 0)
    err_ << "brumevale export: the last message on " << EventSubject(options_.machine.token)
         << " does not match this machine's record; sending every event" << std::endl;
  const int64_t ageNs = last ? std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::system_clock::now().time_since_epoch()).count() - last->timeNs
                             : 0;
  if (position_ > 0 && ageNs < int64_t{1800} * 1000000000)
    position_ = std::max<int64_t>(0, messages_.Raw().KeyBefore(position_, kPageSize) - 1);
  // The inventory of the latest rescan already sent, unless its closing message is missing.
  std::optional<StoredMessage> inventory;
  if (!link_.LastMessage(InventorySubject(options_.machine.token), &inventory, &error)) return Trouble(error), false;
  const int64_t sent = inventory ? SnapshotOfClosingMessage(inventory->data) : 0;
  sentInventory_ = inventory ? HashOfClosingMessage(inventory->data, options_.machine.id) : "";
  const int64_t latest = messages_.Raw().LatestRescanKey(last ? KeyOfEventMessage(last->data) : 0);
  pendingInventory_ = latest > sent ? latest : 0;
  started_ = true;
  return true;
}

int Exporter::ExportPage() {
  EventPage page;
  std::string error;
  if (ahead_ && aheadAfter_ == position_) {
    page = std::move(*ahead_);
  } else if (!messages_.ReadPage(position_, kPageSize, &page, &error)) {
    err_ << "brumevale export: " << error << std::endl;
    return -2;
  }
  ahead_.reset();
  if (page.messages.empty()) return 0;
  // The next page is read while this one's acknowledgements come; one the reader
  // fails on is read again in its turn.
  if (link_.BeginPublish(page.messages, &error)) {
    EventPage next;
    std::string ignored;
    if (messages_.ReadPage(page.keys.back(), kPageSize, &next, &ignored)) {
      ahead_ = std::move(next);
      aheadAfter_ = page.keys.back();
    }
  }
  const size_t acked = link_.FinishPublish(page.messages, &error);
  if (acked > 0) {
    position_ = page.keys[acked - 1];
    lastProgress_ = Clock::now();
    for (size_t i = 0; i < acked; ++i)
      if (page.latestRescanKey == page.keys[i]) pendingInventory_ = page.latestRescanKey;
  }
  if (acked < page.messages.size()) return Trouble("the stream did not acknowledge: " + error), -1;
  return static_cast<int>(acked);
}

// A rescan that changed no load point sends nothing: the snapshot in place stands.
// Every 300 s rescan of an idle machine would otherwise send its whole inventory.
bool Exporter::SendInventory() {
  std::vector<Outgoing> messages;
  std::string error, hash;
  if (!messages_.Inventory(pendingInventory_, &messages, &hash, &error)) return Trouble(error), false;
  if (hash == sentInventory_) {
    pendingInventory_ = 0;
    return true;
  }
  // Sent in pieces of one acknowledgement window; the closing message goes last.
  for (size_t first = 0; first < messages.size(); first += kPageSize) {
    const std::vector<Outgoing> part(messages.begin() + first,
                                     messages.begin() + std::min(messages.size(), first + kPageSize));
    if (link_.PublishAll(part, &error) < part.size())
      return Trouble("the stream did not acknowledge the inventory: " + error), false;
  }
  pendingInventory_ = 0;
  sentInventory_ = hash;
  return true;
}

int Exporter::Run() {
  std::string error;
  // Following a service that is busy with its first rescan, the file may stay locked
  // for a while: the exporter waits for it instead of giving up.
  while (!messages_.Open(options_.database, &error)) {
    if (!options_.follow || stop_) {
      err_ << "brumevale export: " << error << std::endl;
      return stop_ ? 0 : 2;
    }
    Trouble(error);
    Pause();
  }
  while (!stop_) {
    if (GaveUp()) {
      err_ << "brumevale export: no reachable JetStream for " << options_.giveUpSeconds << " s, giving up"
           << std::endl;
      return 1;
    }
    // A live connection reconnects by itself; only a missing one is made anew.
    if ((link_.Connection() == nullptr || !started_) && !(Reach() && FindStart())) {
      Pause();
      continue;
    }
    const int sent = ExportPage();
    if (sent == -2 && !options_.follow) return 2;
    if (sent < 0 || (sent == 0 && pendingInventory_ != 0 && !SendInventory())) {
      Pause();
      continue;
    }
    if (troubled_) err_ << "brumevale export: the stream answers again" << std::endl;
    troubled_ = false;
    backoffMs_ = 250;
    if (sent > 0) continue;
    if (!options_.follow) return 0;
    lastProgress_ = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.pollMs));
  }
  return 0;
}

}  // namespace

int RunExport(const ExportOptions& options, const std::atomic<bool>& stop, std::ostream& err) {
  Exporter exporter(options, stop, err);
  return exporter.Run();
}

}  // namespace Fleet
