#pragma once
// brumevale fleet setup, run once by an operator: the stream BRUMEVALE with the limits
// an operator chooses, the collectors' durable consumers, and the stream that keeps
// the server's word on each message a consumer gave up on. An existing stream or
// consumer with other settings is left alone and named, unless the operator asks for
// it to be changed. Exporters and collectors only use what setup made.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "fleet/links/jetstream_link.h"

namespace Fleet {

struct StreamSettings {
  int64_t replicas = 3;
  int64_t maxAgeNs = int64_t{30} * 24 * 3600 * 1000000000;  // events older than 30 days leave
  int64_t maxBytes = int64_t{64} << 30;                     // and the oldest leave past 64 GiB
  // Deliveries of one message before its consumer gives up on it. A collector gives a
  // batch the database refuses for a while back with a delay growing to 30 s, so the
  // default lasts about 16 hours of refusal; a message given up on becomes a dead
  // letter (see kCappedStreamName), to be replayed once the cause is fixed.
  int64_t maxDeliver = 2000;
};

// The collectors' consumers: explicit acknowledgements, a 10 s acknowledgement wait
// that grows for a message not acknowledged again and again (kBackOffNs).
constexpr char kEventsConsumer[] = "brumevale-events";
constexpr char kInventoryConsumer[] = "brumevale-inventory";
constexpr int64_t kAckWaitNs = int64_t{10} * 1000000000;
// The server's advisories of messages a consumer gave up on, kept in a stream of
// their own (a plain subscriber would miss those sent while no collector runs), read
// by the collectors through kCappedConsumer.
constexpr char kCappedStreamName[] = "BRUMEVALE_CAPPED";
constexpr char kCappedSubject[] = "$JS.EVENT.ADVISORY.CONSUMER.MAX_DELIVERIES.BRUMEVALE.>";
constexpr char kCappedConsumer[] = "brumevale-capped";

// "30d", "720h" (0: no limit) and "64G", "512M", "100000" (bytes; 0: no limit).
bool ParseAge(const std::string& text, int64_t* ns);
bool ParseBytes(const std::string& text, int64_t* bytes);

// 0 when the streams and consumers were made, match, or were changed (update); 1 when
// one exists with other settings (each named on err) or a server failed.
int SetUpStream(const NatsSettings& nats, const StreamSettings& wanted, bool update, std::ostream& out,
                std::ostream& err);

}  // namespace Fleet
