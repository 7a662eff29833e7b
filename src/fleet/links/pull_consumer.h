#pragma once
// A durable pull consumer of the stream, fetched by hand: a request for the next
// messages goes to the consumer and its deliveries come back to an inbox of our own.
// The library's own fetch gathers deliveries into an array sized for one batch;
// after a node failover, deliveries of earlier requests that expired arrive late
// and overran it. Here they simply wait in the inbox for the next fetch.

#include <cstdint>
#include <string>
#include <vector>

#include <nats/nats.h>

namespace Fleet {

class PullConsumer {
 public:
  PullConsumer() = default;
  ~PullConsumer();
  PullConsumer(const PullConsumer&) = delete;
  PullConsumer& operator=(const PullConsumer&) = delete;

  // Subscribes an inbox on conn to the durable consumer, which brumevale fleet setup
  // made; with create (the operator's own commands), makes it when missing
  // (explicit acknowledgements, filter).
  bool Open(natsConnection* conn, jsCtx* js, const char* stream, const char* filter, const char* durable,
            int64_t ackWaitNs, std::string* error, bool create = false);
  void Close();
  bool IsOpen() const { return sub_ != nullptr; }

  // Up to batch messages, waiting at most expiresMs for them, or with noWait only
  // those at hand; the caller owns them (acknowledges and destroys each). False with
  // a message when the request failed.
  bool Fetch(int batch, int64_t expiresMs, bool noWait, std::vector<natsMsg*>* out, std::string* error);

  // Asks for the next batch now, so that it arrives while the one in hand is written;
  // the next Fetch finds it waiting.
  void Prefetch(int batch, int64_t expiresMs);

  // Answers a fetched message: done with it, or to be delivered again after delayMs.
  // Said straight to its reply subject, which is all the library's own calls do
  // but that they want a subscription made by the library.
  void Ack(natsMsg* msg);
  void Nak(natsMsg* msg, int64_t delayMs);
  // Never to be delivered again (moved aside): the server says so in an advisory on
  // $JS.EVENT.ADVISORY.CONSUMER.MSG_TERMINATED.<stream>.<consumer>.
  void Terminate(natsMsg* msg);
  // Still being worked on: the consumer's wait for the acknowledgement starts again.
  void InProgress(natsMsg* msg);

 private:
  natsStatus Request(int batch, int64_t expiresMs);

  natsConnection* conn_ = nullptr;
  natsSubscription* sub_ = nullptr;
  std::string inbox_;
  std::string next_;  // the consumer's next-messages subject
};

// The stream sequence of a fetched message, 0 when it carries none.
uint64_t StreamSequence(natsMsg* msg);

}  // namespace Fleet
