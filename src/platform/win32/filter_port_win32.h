#pragma once
// Platform::FilterPort over fltlib's communication-port calls.

#include "platform/filter_port.h"

namespace Win32 {

class FilterPort final : public Platform::FilterPort {
 public:
  using Handle = Platform::Handle;

  Platform::HResult ConnectCommunicationPort(std::u16string_view portName, uint32_t options,
                                             std::span<const uint8_t> context,
                                             Handle* port) override;
  Platform::HResult SendMessage(Handle port, std::span<uint8_t> input, std::span<uint8_t> output,
                                uint32_t* bytesReturned) override;
  Platform::Win32Error ClosePort(Handle port) override;
};

}  // namespace Win32
