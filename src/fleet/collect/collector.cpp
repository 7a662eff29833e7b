#include "fleet/collect/collector.h"

#include <algorithm>
#include <map>
#include <set>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "fleet/collect/event_fields.h"
#include "fleet/collect/fleet_schema.h"
#include "fleet/collect/fleet_tables.h"
#include "fleet/links/pg_link.h"
#include "fleet/links/pull_consumer.h"
#include "fleet/links/stream_setup.h"

namespace Fleet {
namespace {

using Clock = std::chrono::steady_clock;

struct Consumer {
  const char* stream;
  const char* filter;
  const char* durable;
  enum Kind { kEvents, kInventory, kCapped } kind;
  PullConsumer pull;
  bool inventory() const { return kind == kInventory; }
};

// One fetched batch, owned until it is acknowledged or given back.
struct Fetched {
  std::vector<natsMsg*> msgs;
  ~Fetched() {
    for (natsMsg* msg : msgs) natsMsg_Destroy(msg);
  }
};

// A batch's messages read for what is stored of them: an event message for the
// fields stored beside its bytes, no more; an inventory message (rarer, and its row
// is taken apart in SQL) whole. problems[i] is why message i is not valid.
struct Parsed {
  std::vector<nlohmann::json> bodies;
  std::vector<EventFields> fields;
  std::vector<std::string> problems;
};

// While a batch is written (a slow COPY, a table locked for a while) its messages
// are said to be in progress every third of the acknowledgement wait, so that the
// stream does not deliver them again to another collector meanwhile.
class ProgressBeat {
 public:
  ProgressBeat(PullConsumer& pull, const std::vector<natsMsg*>& msgs)
      : thread_([this, &pull, &msgs] {
          std::unique_lock<std::mutex> lock(mutex_);
          while (!cv_.wait_for(lock, std::chrono::nanoseconds(kAckWaitNs / 3), [this] { return done_; }))
            for (natsMsg* msg : msgs) pull.InProgress(msg);
        }) {}
  ~ProgressBeat() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cv_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

// The writing thread and the fetching thread both report; a line is never torn.
class Lines {
 public:
  explicit Lines(std::ostream& out) : out_(out) {}
  template <typename... Parts>
  void Say(const Parts&... parts) {
    std::ostringstream line;
    (line << ... << parts);
    std::lock_guard<std::mutex> lock(mutex_);
    out_ << line.str() << std::endl;
  }

 private:
  std::ostream& out_;
  std::mutex mutex_;
};

class Collector {
 public:
  Collector(const CollectOptions& options, const std::atomic<bool>& stop, std::ostream& err)
      : options_(options), stop_(stop), err_(err) {}
  int Run();

 private:
  bool Start();
  bool Subscribe(std::string* error);
  bool Drained();
  // What becomes of each fetched message: acknowledged, moved aside for good (its
  // delivery terminated), given back to wait for the rest of its snapshot, or given
  // back because the batch could not be written.
  enum class Verdict { Ack, Terminate, Later, Retry };
  struct Outcome {
    bool committed = true;
    std::vector<Verdict> verdict;
    std::string error, sqlState;
    std::vector<std::pair<size_t, std::string>> dead;  // messages moved aside, with the reason
  };
  // A batch handed to the writing thread, answered once its verdicts are in.
  struct Pending {
    Consumer* consumer = nullptr;
    std::unique_ptr<Fetched> fetched;
    std::future<std::vector<Verdict>> verdicts;
  };
  // Messages fetched and answered, -1 on a failure. Without wait, only what the
  // stream has at hand.
  int Take(Consumer& consumer, bool wait);
  // Waits for the batch being written and answers its messages: the messages answered,
  // -1 when any was given back because the batch could not be written.
  int Settle();
  bool Writing();
  // True when any message was given back because its batch could not be written.
  static bool Answer(PullConsumer& pull, const std::vector<natsMsg*>& msgs, const std::vector<Verdict>& verdicts);
  // parsed, when given, is msgs already read (and used up); a part of a batch is read anew.
  std::vector<Verdict> Write(Consumer& consumer, const std::vector<natsMsg*>& msgs, Parsed* parsed = nullptr);
  // forced, when given, is the reason each message is to be moved aside.
  Outcome Commit(Consumer& consumer, const std::vector<natsMsg*>& msgs, const std::vector<std::string>& forced,
                 Parsed* parsed);
  bool PublishDeadLetter(natsMsg* msg, uint64_t sequence, const std::string& reason);
  std::vector<Verdict> MoveCapped(const std::vector<natsMsg*>& advisories);
  bool ReachDatabase();

  const CollectOptions& options_;
  const std::atomic<bool>& stop_;
  Lines err_;
  PgLink pg_;
  JetStreamLink link_;
  Consumer consumers_[3] = {{kStreamName, "brumevale.events.>", kEventsConsumer, Consumer::kEvents},
                            {kStreamName, "brumevale.inventory.>", kInventoryConsumer, Consumer::kInventory},
                            {kCappedStreamName, kCappedSubject, kCappedConsumer, Consumer::kCapped}};
  bool databaseDown_ = false;
  bool refusing_ = false;    // PostgreSQL answers but refuses batches for a passing reason
  bool streamDown_ = false;  // one line per outage, not one per retry
  std::map<std::string, int64_t> machineKeys_;  // by machine id: a key once given stays
  int deadCount_ = 0;
  Pending pending_;
};

std::string MachineOfSubject(const char* subject) {
  const std::string text = subject;
  const size_t dot = text.find('.', std::string("brumevale.").size());
  return dot == std::string::npos ? "_" : text.substr(dot + 1);
}

// A batch the database refused for a passing reason comes back after 0.5 s, then 1,
// 2, 4 ... up to 30 s as it is refused again: a revoked grant or a failover heals
// without a flood of retries, and nothing is given up.
int64_t RetryDelayMs(natsMsg* msg) {
  jsMsgMetaData* meta = nullptr;
  uint64_t delivered = 1;
  if (natsMsg_GetMetaData(&meta, msg) == NATS_OK) {
    delivered = meta->NumDelivered;
    jsMsgMetaData_Destroy(meta);
  }
  return std::min<int64_t>(int64_t{500} << std::min<uint64_t>(delivered > 0 ? delivered - 1 : 0, 6), 30000);
}

// A machine publishes on its own id's subject only (its credentials allow no other):
// a body that claims another id is a forgery or a fault, and is not stored as that
// machine's event.
std::string IdentityProblem(const std::string& machineId, const char* subject) {
  return machineId == MachineOfSubject(subject)
             ? ""
             : "its machineId is not the one its subject names";
}

// Parsing is most of the collector's own work: a batch is read in two halves at once,
// while the batch before it is written.
Parsed Parse(bool inventory, const std::vector<natsMsg*>& msgs) {
  Parsed parsed;
  parsed.bodies.resize(inventory ? msgs.size() : 0);
  parsed.fields.resize(inventory ? 0 : msgs.size());
  parsed.problems.resize(msgs.size());
  auto read = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      const std::string_view bytes(natsMsg_GetData(msgs[i]), static_cast<size_t>(natsMsg_GetDataLength(msgs[i])));
      const char* subject = natsMsg_GetSubject(msgs[i]);
      std::string& problem = parsed.problems[i];
      if (inventory) {
        nlohmann::json& body = parsed.bodies[i];
        body = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
        problem = InventoryProblem(body);
        if (problem.empty()) problem = IdentityProblem(body["machineId"].get<std::string>(), subject);
      } else {
        problem = ReadEventFields(bytes, &parsed.fields[i]);
        if (problem.empty()) problem = IdentityProblem(parsed.fields[i].machineId, subject);
      }
    }
  };
  constexpr size_t kHalves = 128;  // below this a second thread costs more than it saves
  if (msgs.size() >= kHalves) {
    std::thread half(read, 0, msgs.size() / 2);
    read(msgs.size() / 2, msgs.size());
    half.join();
  } else {
    read(0, msgs.size());
  }
  return parsed;
}

constexpr char kConflict[] = "conflict: another event is stored for this machine id and key";

bool Collector::Subscribe(std::string* error) {
  for (Consumer& consumer : consumers_) {
    if (!consumer.pull.IsOpen() && !consumer.pull.Open(link_.Connection(), link_.Context(), consumer.stream,
                                                      consumer.filter, consumer.durable, kAckWaitNs, error))
      return false;
  }
  return true;
}

bool Collector::Start() {
  std::string error;
  if (!pg_.Connect(options_.conninfo, &error) || !EnsureFleetTables(pg_, &error)) {
    err_.Say("brumevale collect: ", error);
    return false;
  }
  const auto deadline = Clock::now() + std::chrono::seconds(options_.giveUpSeconds);
  bool said = false;
  while (!stop_) {
    // A subscription belongs to its connection: a new connection subscribes anew.
    for (Consumer& consumer : consumers_) consumer.pull.Close();
    if (link_.Connect(options_.nats, &error) && link_.CheckStream(&error) && Subscribe(&error)) return true;
    if (!said) err_.Say("brumevale collect: cannot reach JetStream: ", error, "; retrying");
    said = true;
    if (Clock::now() > deadline) {
      err_.Say("brumevale collect: no reachable JetStream for ", options_.giveUpSeconds, " s, giving up");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  return false;
}

bool Collector::ReachDatabase() {
  std::string error;
  if (pg_.Ok()) return true;
  if (pg_.Connect(options_.conninfo, &error) && EnsureFleetTables(pg_, &error)) {
    err_.Say("brumevale collect: PostgreSQL answers again");
    databaseDown_ = false;
    return true;
  }
  if (!databaseDown_) err_.Say("brumevale collect: ", error, "; retrying");
  databaseDown_ = true;
  return false;
}

// The message goes on brumevale.dead.<machine> as it came, its reason, subject and
// stream sequence in headers; the message id keeps a redelivered one from being
// moved twice. Only after the commit that records it: a batch rolled back moves nothing.
bool Collector::PublishDeadLetter(natsMsg* msg, uint64_t sequence, const std::string& reason) {
  const std::string subject = "brumevale.dead." + MachineOfSubject(natsMsg_GetSubject(msg));
  natsMsg* dead = nullptr;
  natsStatus s = natsMsg_Create(&dead, subject.c_str(), nullptr, natsMsg_GetData(msg), natsMsg_GetDataLength(msg));
  const std::string id = "dead:" + std::to_string(sequence);
  if (s == NATS_OK) s = natsMsgHeader_Set(dead, "Nats-Msg-Id", id.c_str());
  if (s == NATS_OK) s = natsMsgHeader_Set(dead, "Brumevale-Reason", reason.c_str());
  if (s == NATS_OK) s = natsMsgHeader_Set(dead, "Brumevale-Subject", natsMsg_GetSubject(msg));
  if (s == NATS_OK) s = natsMsgHeader_Set(dead, "Brumevale-Sequence", std::to_string(sequence).c_str());
  jsPubAck* ack = nullptr;
  if (s == NATS_OK) s = js_PublishMsg(&ack, link_.Context(), dead, nullptr, nullptr);
  jsPubAck_Destroy(ack);
  natsMsg_Destroy(dead);
  if (s != NATS_OK) return false;
  err_.Say("brumevale collect: message ", sequence, " on ", natsMsg_GetSubject(msg), " is not valid (", reason,
           "); moved to ", subject);
  return true;
}

Collector::Outcome Collector::Commit(Consumer& consumer, const std::vector<natsMsg*>& msgs,
                                     const std::vector<std::string>& forced, Parsed* parsed) {
  Outcome outcome;
  outcome.verdict.assign(msgs.size(), Verdict::Ack);
  // The machines' keys first, in statements of their own: the ids come from the
  // subjects, which each machine's credentials limit to its own.
  if (!consumer.inventory() && forced.empty()) {
    std::set<std::string> unknown;
    for (natsMsg* msg : msgs)
      if (const std::string id = MachineOfSubject(natsMsg_GetSubject(msg)); !machineKeys_.count(id)) unknown.insert(id);
    if (!unknown.empty() && !MachineKeys(pg_, {unknown.begin(), unknown.end()}, &machineKeys_, &outcome.error)) {
      outcome.sqlState = pg_.SqlState();
      outcome.committed = false;
      return outcome;
    }
  }
  Parsed read;
  if (!forced.empty()) read.problems = forced;
  else if (parsed == nullptr) read = Parse(consumer.inventory(), msgs);
  Parsed& batch = parsed != nullptr && forced.empty() ? *parsed : read;
  std::vector<nlohmann::json> parts, closings;
  std::vector<size_t> closingIndex;
  EventBatch events(pg_);
  bool ok = pg_.Exec("BEGIN", &outcome.error);
  // The rows go to the database a part at a time, so that the server works on one
  // part while the next is put together.
  constexpr size_t kPart = 256;
  for (size_t from = 0; from < msgs.size(); from += kPart) {
    const size_t to = std::min(from + kPart, msgs.size());
    for (size_t i = from; i < to; ++i) {
      const std::string_view bytes(natsMsg_GetData(msgs[i]), static_cast<size_t>(natsMsg_GetDataLength(msgs[i])));
      if (!batch.problems[i].empty()) {
        outcome.dead.emplace_back(i, batch.problems[i]);
      } else if (!consumer.inventory()) {
        const int64_t machineKey = machineKeys_.at(batch.fields[i].machineId);
        if (events.Add(batch.fields[i], machineKey, bytes, i) == EventBatch::Added::kConflict)
          outcome.dead.emplace_back(i, kConflict);
      } else if (batch.bodies[i].contains("rows")) {
        closings.push_back(std::move(batch.bodies[i]));
        closingIndex.push_back(i);
      } else {
        parts.push_back(std::move(batch.bodies[i]));
      }
    }
    if (ok) events.Send();
  }
  std::vector<size_t> incomplete, conflicts;
  ok = ok && events.Finish(&conflicts, &outcome.error);
  for (const size_t index : conflicts) outcome.dead.emplace_back(index, kConflict);
  for (const auto& [index, reason] : outcome.dead)
    ok = ok && WriteDeadLetter(pg_, natsMsg_GetSubject(msgs[index]), StreamSequence(msgs[index]), reason, &outcome.error);
  ok = ok && (!consumer.inventory() || WriteInventory(pg_, parts, closings, &incomplete, &outcome.error));
  ok = ok && pg_.Exec("COMMIT", &outcome.error);
  if (!ok) {
    outcome.sqlState = pg_.SqlState();
    std::string ignored;
    pg_.Exec("ROLLBACK", &ignored);
    outcome.committed = false;
    return outcome;
  }
  for (const size_t index : incomplete) outcome.verdict[closingIndex[index]] = Verdict::Later;
  // A dead letter that cannot be published now is delivered again: its row is
  // written once, its message once (by its id).
  for (const auto& [index, reason] : outcome.dead) {
    const bool moved = PublishDeadLetter(msgs[index], StreamSequence(msgs[index]), reason);
    outcome.verdict[index] = moved ? Verdict::Terminate : Verdict::Later;
    deadCount_ += moved ? 1 : 0;
  }
  return outcome;
}

// What PostgreSQL's refusal of a batch means is read from its SQLSTATE. Only a data
// error of one message (classes 22 and 23) makes that message poison: the batch is
// halved until it stands alone, and it is moved aside with the database's reason.
// Anything else (a connection lost, read-only during a failover, a revoked grant,
// a lock timeout, a cancel, a serialization failure, no resources) rolls the whole
// batch back to be delivered again later, however long the trouble lasts.
std::vector<Collector::Verdict> Collector::Write(Consumer& consumer, const std::vector<natsMsg*>& msgs,
                                                 Parsed* parsed) {
  Outcome outcome = Commit(consumer, msgs, {}, parsed);
  if (outcome.committed) {
    if (refusing_) err_.Say("brumevale collect: PostgreSQL takes the batches again");
    refusing_ = false;
    return outcome.verdict;
  }
  if (!IsDataRefusal(outcome.sqlState)) {
    if (!pg_.Ok()) {
      if (!databaseDown_) err_.Say("brumevale collect: ", outcome.error, "; retrying");
      databaseDown_ = true;
    } else if (!refusing_) {
      err_.Say("brumevale collect: ", outcome.error, " (SQLSTATE ", outcome.sqlState,
               "); nothing acknowledged, retrying with growing delay");
      refusing_ = true;
    }
    return std::vector<Verdict>(msgs.size(), Verdict::Retry);
  }
  if (msgs.size() == 1) {
    const std::string reason = "refused by the database (SQLSTATE " + outcome.sqlState + "): " + outcome.error;
    const Outcome moved = Commit(consumer, msgs, {reason}, nullptr);
    return moved.committed ? moved.verdict : std::vector<Verdict>{Verdict::Retry};
  }
  const auto middle = msgs.begin() + static_cast<std::ptrdiff_t>(msgs.size() / 2);
  std::vector<Verdict> verdicts = Write(consumer, {msgs.begin(), middle});
  const std::vector<Verdict> rest = Write(consumer, {middle, msgs.end()});
  verdicts.insert(verdicts.end(), rest.begin(), rest.end());
  return verdicts;
}

// The server gave up on a message after the consumer's MaxDeliver deliveries (a
// database refusing it for many hours, or a collector that died on it each time): it
// becomes a dead letter like one the collector moves aside itself, recorded first,
// and is never passed over in silence. One the stream no longer holds is recorded
// by its sequence alone.
std::vector<Collector::Verdict> Collector::MoveCapped(const std::vector<natsMsg*>& advisories) {
  std::vector<Verdict> verdicts(advisories.size(), Verdict::Retry);
  for (size_t i = 0; i < advisories.size(); ++i) {
    const char* data = natsMsg_GetData(advisories[i]);
    const nlohmann::json advisory =
        nlohmann::json::parse(data, data + natsMsg_GetDataLength(advisories[i]), nullptr, false);
    const uint64_t sequence = advisory.value("stream_seq", uint64_t{0});
    const std::string reason = "not stored after " + std::to_string(advisory.value("deliveries", 0)) +
                               " deliveries to " + advisory.value("consumer", std::string("?"));
    natsMsg* original = nullptr;
    jsErrCode code = static_cast<jsErrCode>(0);
    const natsStatus s = js_GetMsg(&original, link_.Context(), kStreamName, sequence, nullptr, &code);
    std::string error;
    const std::string subject = s == NATS_OK ? natsMsg_GetSubject(original) : "(no longer in the stream)";
    if ((s == NATS_OK || s == NATS_NOT_FOUND) && WriteDeadLetter(pg_, subject, sequence, reason, &error))
      verdicts[i] = s == NATS_NOT_FOUND || PublishDeadLetter(original, sequence, reason) ? Verdict::Ack : Verdict::Retry;
    else if (!error.empty() && !refusing_)
      err_.Say("brumevale collect: ", error, "; retrying");
    deadCount_ += verdicts[i] == Verdict::Ack ? 1 : 0;
    natsMsg_Destroy(original);
  }
  return verdicts;
}

// A batch is fetched and read while the one before it is written by a thread of its
// own; one batch at most is being written. Its messages are answered only once its
// verdicts are in, that is after its commit, and before the next batch is handed
// over, so that answers go out in the order the batches were fetched.
int Collector::Take(Consumer& consumer, bool wait) {
  auto fetched = std::make_unique<Fetched>();
  std::string error;
  const bool got = consumer.pull.Fetch(options_.batch, 250, !wait, &fetched->msgs, &error);
  Parsed parsed;
  if (got && consumer.kind != Consumer::kCapped) parsed = Parse(consumer.inventory(), fetched->msgs);
  const int settled = Settle();
  if (!got) {
    if (!streamDown_) err_.Say("brumevale collect: cannot fetch from the stream: ", error, "; retrying");
    streamDown_ = true;
    return -1;
  }
  if (streamDown_) err_.Say("brumevale collect: the stream answers again");
  streamDown_ = false;
  const std::vector<natsMsg*>& msgs = fetched->msgs;
  if (msgs.empty()) return settled;
  if (static_cast<int>(msgs.size()) == options_.batch) consumer.pull.Prefetch(options_.batch, 2000);
  if (consumer.kind == Consumer::kCapped) {
    const std::vector<Verdict> verdicts = MoveCapped(msgs);
    const bool failed = Answer(consumer.pull, msgs, verdicts);
    return failed || settled < 0 ? -1 : settled + static_cast<int>(msgs.size());
  }
  pending_.consumer = &consumer;
  pending_.verdicts = std::async(std::launch::async, [this, &consumer, &msgs, parsed = std::move(parsed)]() mutable {
    const ProgressBeat beat(consumer.pull, msgs);
    return Write(consumer, msgs, &parsed);
  });
  pending_.fetched = std::move(fetched);
  return settled < 0 ? -1 : settled + static_cast<int>(msgs.size());
}

bool Collector::Writing() {
  return pending_.verdicts.valid() &&
         pending_.verdicts.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

bool Collector::Answer(PullConsumer& pull, const std::vector<natsMsg*>& msgs, const std::vector<Verdict>& verdicts) {
  bool failed = false;
  for (size_t i = 0; i < msgs.size(); ++i) {
    if (verdicts[i] == Verdict::Ack) pull.Ack(msgs[i]);
    else if (verdicts[i] == Verdict::Terminate) pull.Terminate(msgs[i]);
    else pull.Nak(msgs[i], verdicts[i] == Verdict::Later ? 500 : RetryDelayMs(msgs[i]));
    failed = failed || verdicts[i] == Verdict::Retry;
  }
  return failed;
}

int Collector::Settle() {
  if (!pending_.verdicts.valid()) return 0;
  const std::vector<Verdict> verdicts = pending_.verdicts.get();
  const std::vector<natsMsg*>& msgs = pending_.fetched->msgs;
  const bool failed = Answer(pending_.consumer->pull, msgs, verdicts);
  const int answered = static_cast<int>(msgs.size());
  pending_ = Pending();
  return failed ? -1 : answered;
}

bool Collector::Drained() {
  for (Consumer& consumer : consumers_) {
    jsConsumerInfo* info = nullptr;
    jsErrCode code = static_cast<jsErrCode>(0);
    // Asked of the stream by name: a subscription bound to a durable that an earlier
    // collector made answers "invalid subscription" here.
    if (js_GetConsumerInfo(&info, link_.Context(), consumer.stream, consumer.durable, nullptr, &code) != NATS_OK)
      return false;
    const bool empty = info->NumPending == 0 && info->NumAckPending == 0;
    jsConsumerInfo_Destroy(info);
    if (!empty) return false;
  }
  return true;
}

int Collector::Run() {
  if (!Start()) return stop_ ? 0 : 1;
  int quiet = 0;
  while (!stop_) {
    // The database is looked at only while no batch is written to it; a batch
    // written already is answered first.
    if (!Writing()) {
      if (Settle() < 0) std::this_thread::sleep_for(std::chrono::milliseconds(250));
      if (!ReachDatabase()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        continue;
      }
    }
    // While either consumer has work, neither waits for the stream: a wait on an
    // idle one would hold up every batch of the other.
    const int events = Take(consumers_[0], quiet > 0);
    const int inventory = Take(consumers_[1], quiet > 0);
    const int capped = Take(consumers_[2], false);
    if (events < 0 || inventory < 0 || capped < 0) std::this_thread::sleep_for(std::chrono::milliseconds(250));
    quiet = events == 0 && inventory == 0 && capped == 0 ? quiet + 1 : 0;
    // Asked as soon as neither has anything at hand: the consumers' own counts decide.
    if (options_.drain && quiet >= 1 && Drained()) break;
  }
  Settle();  // the batch being written when told to stop is finished and answered
  if (deadCount_ > 0) err_.Say("brumevale collect: ", deadCount_, " messages moved to brumevale.dead");
  return 0;
}

}  // namespace

int RunCollect(const CollectOptions& options, const std::atomic<bool>& stop, std::ostream& err) {
  Collector collector(options, stop, err);
  return collector.Run();
}

}  // namespace Fleet
