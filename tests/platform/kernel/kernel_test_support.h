#pragma once
// Shared by the kernel suites: a machine whose driver runs, a connection to its port
// and hand-made record bytes to compare the driver's replies with.

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/minifilter/minifilter.h"

namespace KernelTest {

using Bytes = std::vector<uint8_t>;

inline void AppendLe(Bytes& out, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline void AppendText(Bytes& out, std::u16string_view text) {
  for (char16_t c : text) AppendLe(out, c, 2);
  AppendLe(out, 0, 2);
}

// A record written out field by field, the way the service's documentation draws it.
inline Bytes HandRecord(uint64_t id1, uint64_t id2, uint64_t id3, uint32_t operation,
                        uint32_t detail, const Bytes& data) {
  Bytes out;
  AppendLe(out, data.size(), 4);
  AppendLe(out, 0, 4);
  AppendLe(out, id1, 8);
  AppendLe(out, id2, 8);
  AppendLe(out, id3, 8);
  AppendLe(out, operation, 4);
  AppendLe(out, detail, 4);
  AppendLe(out, 0, 4);
  out.insert(out.end(), data.begin(), data.end());
  AppendLe(out, 0, 4);
  return out;
}

inline Bytes Texts(std::initializer_list<std::u16string_view> texts, const Bytes& raw = {}) {
  Bytes out;
  for (std::u16string_view text : texts) AppendText(out, text);
  out.insert(out.end(), raw.begin(), raw.end());
  return out;
}

inline Emulated::MachineConfig OneDriveConfig() {
  Emulated::MachineConfig config;
  config.drives.push_back({u'C', "", 2});
  config.drives.push_back({u'D', "", 3});
  return config;
}

struct Reply {
  Platform::HResult result = 0;
  uint32_t count = 0;
  uint32_t bytesReturned = 0;
  Bytes bytes;  // the bytesReturned bytes the driver wrote
};

// One exchange with the service's buffer sizes.
inline Reply Poll(Platform::FilterPort& port, Platform::Handle handle,
                  size_t capacity = Emulated::kDriverReplyCapacity) {
  Reply reply;
  alignas(8) uint8_t request[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  Bytes output(capacity, 0xCC);
  reply.result = port.SendMessage(handle, request, output, &reply.bytesReturned);
  reply.count = request[0] | request[1] << 8 | request[2] << 16 | uint32_t{request[3]} << 24;
  output.resize(std::min<size_t>(reply.bytesReturned, output.size()));
  reply.bytes = std::move(output);
  return reply;
}

}  // namespace KernelTest
