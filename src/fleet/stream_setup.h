#pragma once
// brumevale fleet setup, run once by an operator: the stream BRUMEVALE with the limits
// an operator chooses. An existing stream with other settings is left alone and
// named, unless the operator asks for it to be changed.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "fleet/jetstream_link.h"

namespace Fleet {

struct StreamSettings {
  int64_t replicas = 3;
  int64_t maxAgeNs = int64_t{30} * 24 * 3600 * 1000000000;  // events older than 30 days leave
  int64_t maxBytes = int64_t{64} << 30;                     // and the oldest leave past 64 GiB
};

// "30d", "720h" (0: no limit) and "64G", "512M", "100000" (bytes; 0: no limit).
bool ParseAge(const std::string& text, int64_t* ns);
bool ParseBytes(const std::string& text, int64_t* bytes);

// 0 when the stream was made, matches, or was changed (update); 1 when it exists with
// other settings (each named on err) or a server failed.
int SetUpStream(const NatsSettings& nats, const StreamSettings& wanted, bool update, std::ostream& out,
                std::ostream& err);

}  // namespace Fleet
