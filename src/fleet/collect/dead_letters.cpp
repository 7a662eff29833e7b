#include "fleet/collect/dead_letters.h"

#include <ostream>

#include "fleet/links/pull_consumer.h"

namespace Fleet {
namespace {

constexpr int64_t kReplayAckWaitNs = int64_t{30} * 1000000000;

std::string Header(natsMsg* msg, const char* name) {
  const char* value = nullptr;
  return natsMsgHeader_Get(msg, name, &value) == NATS_OK && value != nullptr ? value : "";
}

// The letter goes back under an id of its own: the original message id may still be
// inside the stream's window for repeats, and would be dropped as one.
natsStatus Republish(jsCtx* js, natsMsg* dead, uint64_t deadSequence, const std::string& subject) {
  natsMsg* again = nullptr;
  natsStatus s = natsMsg_Create(&again, subject.c_str(), nullptr, natsMsg_GetData(dead), natsMsg_GetDataLength(dead));
  const std::string id = "replay:" + std::to_string(deadSequence);
  if (s == NATS_OK) s = natsMsgHeader_Set(again, "Nats-Msg-Id", id.c_str());
  jsPubAck* ack = nullptr;
  if (s == NATS_OK) s = js_PublishMsg(&ack, js, again, nullptr, nullptr);
  jsPubAck_Destroy(ack);
  natsMsg_Destroy(again);
  return s;
}

}  // namespace

int ReplayDeadLetters(const NatsSettings& nats, PgLink& pg, std::ostream& out, std::ostream& err) {
  JetStreamLink link;
  PullConsumer dead;
  std::string error;
  if (!link.Connect(nats, &error) ||
      !dead.Open(link.Connection(), link.Context(), kStreamName, "brumevale.dead.>", "brumevale-replay",
                 kReplayAckWaitNs, &error, true)) {
    err << "brumevale fleet replay: " << error << std::endl;
    return 1;
  }
  size_t replayed = 0;
  for (;;) {
    std::vector<natsMsg*> msgs;
    if (!dead.Fetch(500, 2000, true, &msgs, &error)) {
      err << "brumevale fleet replay: " << error << std::endl;
      return 1;
    }
    if (msgs.empty()) break;
    bool failed = false;
    for (natsMsg* msg : msgs) {
      const uint64_t sequence = StreamSequence(msg);
      const std::string subject = Header(msg, "Brumevale-Subject");
      jsErrCode code = static_cast<jsErrCode>(0);
      natsStatus s = subject.empty() ? NATS_INVALID_ARG : Republish(link.Context(), msg, sequence, subject);
      if (s == NATS_OK) s = js_DeleteMsg(link.Context(), kStreamName, sequence, nullptr, &code);
      const std::string original = Header(msg, "Brumevale-Sequence");
      if (s == NATS_OK && !original.empty() &&
          !pg.Exec("DELETE FROM fleet_dead_letters WHERE stream_sequence = $1::bigint", {original}, &error))
        s = NATS_ERR;
      if (s == NATS_OK) {
        dead.Ack(msg);
        ++replayed;
      } else {
        if (error.empty()) error = subject.empty() ? "a dead letter without its subject" : NatsError(s);
        dead.Nak(msg, 0);
        failed = true;
      }
      natsMsg_Destroy(msg);
    }
    if (failed) {
      err << "brumevale fleet replay: " << error << "; " << replayed << " dead letters put back" << std::endl;
      return 1;
    }
  }
  out << replayed << " dead letters put back" << std::endl;
  return 0;
}

}  // namespace Fleet
