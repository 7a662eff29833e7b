// The port side of the minifilter: connections and the exchange of one message.
#include "platform/emulated/minifilter/minifilter.h"

namespace Emulated {

using namespace Platform;

HResult Minifilter::Connect(uint32_t processId, std::u16string_view portName, Handle* port) {
  if (port == nullptr) return kEInvalidArg;
  std::lock_guard lock(mutex_);
  // The port object exists only while the driver is loaded: with the driver stopped
  // its name is unknown, exactly like a name that never existed.
  if (!running_ || portName != kPortName) return kEFileNotFound;
  *port = port_.Open(processId, run_);
  return kSOk;
}

HResult Minifilter::Exchange(uint32_t processId, Handle port, std::span<uint8_t> input,
                             std::span<uint8_t> output, uint32_t* bytesReturned) {
  std::lock_guard lock(mutex_);
  const std::optional<uint64_t> run = port_.RunOf(processId, port);
  if (!run) return kEHandle;
  if (!running_ || *run != run_) return kEPortDisconnected;
  // The request is the 4-byte word the record count is answered in. The filter
  // manager passes the caller's buffer on unaligned, and the driver reads the word
  // as an aligned 64-bit access: a word off its 8-byte boundary faults there.
  if (input.size() < 4) return kEInvalidArg;
  if (reinterpret_cast<uintptr_t>(input.data()) % 8 != 0) return kENoAccess;
  const MinifilterQueue::Batch batch = queue_.Fill(output);
  for (size_t i = 0; i < 4; ++i) input[i] = static_cast<uint8_t>(batch.count >> (8 * i));
  if (bytesReturned != nullptr) *bytesReturned = batch.bytes;
  return kSOk;
}

Win32Error Minifilter::Disconnect(uint32_t processId, Handle port) {
  std::lock_guard lock(mutex_);
  return port_.Close(processId, port) ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace Emulated
