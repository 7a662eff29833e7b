#pragma once
// One connection to a NATS cluster with its JetStream context, owned by one object
// that closes both when it goes. Failures come back as false with a readable line.

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <optional>
#include <string>
#include <vector>

#include <nats/nats.h>

namespace Fleet {

struct NatsSettings {
  std::vector<std::string> servers;  // nats://host:port or tls://host:port
  std::string user;
  std::string password;
  std::string tlsCa;                  // PEM file of the authority that signed the servers
  std::string tlsCert, tlsKey;        // this machine's own certificate and key (PEM), when given
  int64_t requestWaitMs = 5000;       // a JetStream request waits this long for its answer
};

// The stream every machine publishes into.
constexpr char kStreamName[] = "BRUMEVALE";
// How long the stream drops a repeat of a message id.
constexpr int64_t kDuplicateWindowNs = int64_t{3600} * 1000000000;

struct Outgoing {
  std::string subject;
  std::string msgId;  // Nats-Msg-Id: the stream drops a repeat of it
  std::string data;
};

// What the acknowledgements of one PublishAll said, by position in the batch. It
// outlives every batch, since a late answer may still arrive after one gave up.
struct AckBook {
  std::mutex lock;
  std::unordered_map<const natsMsg*, size_t> positionOfMessage;  // those the library holds
  std::vector<char> acked;
  std::string firstError;
};

struct StoredMessage {
  std::string data;
  int64_t timeNs = 0;  // when the stream stored it
};

class JetStreamLink {
 public:
  JetStreamLink();
  ~JetStreamLink();
  JetStreamLink(const JetStreamLink&) = delete;
  JetStreamLink& operator=(const JetStreamLink&) = delete;

  // Connects once; the connection then reconnects on its own while it lives.
  bool Connect(const NatsSettings& settings, std::string* error);
  void Close();
  bool Connected() const;

  // Whether the stream is there. Exporters and collectors never make or change it:
  // that is brumevale fleet setup's, run by an operator with the settings chosen.
  bool CheckStream(std::string* error);
  // The last message on a subject; nullopt with no error when there is none.
  bool LastMessage(const std::string& subject, std::optional<StoredMessage>* out, std::string* error);

  // Publishes the messages with up to 256 acknowledgements outstanding and waits for
  // all of them. Returns how many of the first messages, in order, the stream has
  // acknowledged (a duplicate counts, it is stored already); error says why the rest failed.
  size_t PublishAll(const std::vector<Outgoing>& messages, std::string* error);
  // The same in two steps, so that the caller works while the acknowledgements come:
  // BeginPublish sends (false with error when a message could not be sent), and
  // FinishPublish waits and counts as PublishAll does. messages outlive both.
  bool BeginPublish(const std::vector<Outgoing>& messages, std::string* error);
  size_t FinishPublish(const std::vector<Outgoing>& messages, std::string* error);
  // The same without message ids or checks, for comparison in the benchmark.
  bool PublishPlain(const std::vector<Outgoing>& messages, std::string* error);

  natsConnection* Connection() const { return conn_; }
  jsCtx* Context() const { return js_; }

 private:
  natsConnection* conn_ = nullptr;
  jsCtx* js_ = nullptr;
  jsCtx* asyncJs_ = nullptr;
  std::unique_ptr<AckBook> book_;
  int64_t waitMs_ = 5000;
  natsStatus sendStatus_ = NATS_OK;  // how BeginPublish's sending ended

  template <typename Change>
  void WithBook(Change change) {
    std::lock_guard<std::mutex> guard(book_->lock);
    change();
  }
};

// "nats: <text of the status>" plus the last error the library recorded.
std::string NatsError(natsStatus status);

}  // namespace Fleet
