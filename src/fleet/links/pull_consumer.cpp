#include "fleet/links/pull_consumer.h"

#include <chrono>

#include "fleet/links/jetstream_link.h"

namespace Fleet {
namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool EnsureConsumer(jsCtx* js, const char* stream, const char* filter, const char* durable, int64_t ackWaitNs,
                    bool create, std::string* error) {
  jsConsumerInfo* info = nullptr;
  jsErrCode code = static_cast<jsErrCode>(0);
  if (!create) {
    const natsStatus s = js_GetConsumerInfo(&info, js, stream, durable, nullptr, &code);
    jsConsumerInfo_Destroy(info);
    if (s == NATS_NOT_FOUND)
      *error = "the consumer " + std::string(durable) + " does not exist: an operator makes it with brumevale fleet setup";
    else if (s != NATS_OK)
      *error = "cannot subscribe to " + std::string(filter) + ": " + NatsError(s);
    return s == NATS_OK;
  }
  jsConsumerConfig config;
  jsConsumerConfig_Init(&config);
  config.Durable = durable;
  config.FilterSubject = filter;
  config.AckPolicy = js_AckExplicit;
  config.AckWait = ackWaitNs;
  config.MaxAckPending = 20000;
  natsStatus s = js_AddConsumer(&info, js, stream, &config, nullptr, &code);
  // Made already by another collector, perhaps with other settings: it serves as it is.
  if (s != NATS_OK) s = js_GetConsumerInfo(&info, js, stream, durable, nullptr, &code);
  jsConsumerInfo_Destroy(info);
  if (s != NATS_OK) *error = "cannot subscribe to " + std::string(filter) + ": " + NatsError(s);
  return s == NATS_OK;
}

}  // namespace

PullConsumer::~PullConsumer() { Close(); }

void PullConsumer::Close() {
  natsSubscription_Destroy(sub_);
  sub_ = nullptr;
}

bool PullConsumer::Open(natsConnection* conn, jsCtx* js, const char* stream, const char* filter,
                        const char* durable, int64_t ackWaitNs, std::string* error, bool create) {
  Close();
  if (!EnsureConsumer(js, stream, filter, durable, ackWaitNs, create, error)) return false;
  natsInbox* inbox = nullptr;
  natsStatus s = natsInbox_Create(&inbox);
  if (s == NATS_OK) inbox_ = inbox;
  natsInbox_Destroy(inbox);
  if (s == NATS_OK) s = natsConnection_SubscribeSync(&sub_, conn, inbox_.c_str());
  // Deliveries wait here between fetches; no limit drops one.
  if (s == NATS_OK) s = natsSubscription_SetPendingLimits(sub_, -1, -1);
  if (s != NATS_OK) {
    *error = "cannot subscribe to " + std::string(filter) + ": " + NatsError(s);
    Close();
    return false;
  }
  conn_ = conn;
  next_ = "$JS.API.CONSUMER.MSG.NEXT." + std::string(stream) + "." + durable;
  return true;
}

bool PullConsumer::Fetch(int batch, int64_t expiresMs, bool noWait, std::vector<natsMsg*>* out,
                         std::string* error) {
  if (natsConnection_Status(conn_) != NATS_CONN_STATUS_CONNECTED)
    return *error = "no server connected, reconnecting", false;
  int waiting = 0;
  natsSubscription_GetPending(sub_, &waiting, nullptr);
  // Ask only for what the inbox does not hold already.
  if (waiting < batch) {
    const natsStatus s = Request(batch - waiting, noWait ? 0 : expiresMs);
    if (s != NATS_OK) return *error = NatsError(s), false;
  }
  const int64_t deadline = NowMs() + expiresMs;
  while (static_cast<int>(out->size()) < batch) {
    const int64_t left = deadline - NowMs();
    natsMsg* msg = nullptr;
    const natsStatus s = natsSubscription_NextMsg(&msg, sub_, left > 0 ? left : 1);
    if (s == NATS_TIMEOUT) break;
    if (s != NATS_OK) return *error = NatsError(s), false;
    // A status instead of a message (no more for now, the request expired) ends
    // the fetch; one left over from an earlier request only makes this one short.
    const char* status = nullptr;
    if (natsMsg_GetReply(msg) == nullptr || natsMsgHeader_Get(msg, "Status", &status) == NATS_OK) {
      natsMsg_Destroy(msg);
      break;
    }
    out->push_back(msg);
  }
  return true;
}

// expiresMs 0: only what the consumer has at hand. Otherwise the server ends the
// request a little before the caller stops waiting for it.
natsStatus PullConsumer::Request(int batch, int64_t expiresMs) {
  const std::string request = "{\"batch\":" + std::to_string(batch) +
                              (expiresMs == 0 ? std::string(",\"no_wait\":true")
                                              : ",\"expires\":" + std::to_string((expiresMs - 20) * 1000000)) +
                              "}";
  return natsConnection_PublishRequestString(conn_, next_.c_str(), inbox_.c_str(), request.c_str());
}

uint64_t StreamSequence(natsMsg* msg) {
  jsMsgMetaData* meta = nullptr;
  if (natsMsg_GetMetaData(&meta, msg) != NATS_OK) return 0;
  const uint64_t sequence = meta->Sequence.Stream;
  jsMsgMetaData_Destroy(meta);
  return sequence;
}

void PullConsumer::Prefetch(int batch, int64_t expiresMs) { Request(batch, expiresMs); }

void PullConsumer::Ack(natsMsg* msg) { natsConnection_PublishString(conn_, natsMsg_GetReply(msg), "+ACK"); }

void PullConsumer::Terminate(natsMsg* msg) { natsConnection_PublishString(conn_, natsMsg_GetReply(msg), "+TERM"); }

void PullConsumer::InProgress(natsMsg* msg) { natsConnection_PublishString(conn_, natsMsg_GetReply(msg), "+WPI"); }

void PullConsumer::Nak(natsMsg* msg, int64_t delayMs) {
  const std::string nak = "-NAK {\"delay\":" + std::to_string(delayMs * 1000000) + "}";
  natsConnection_PublishString(conn_, natsMsg_GetReply(msg), nak.c_str());
}

}  // namespace Fleet
