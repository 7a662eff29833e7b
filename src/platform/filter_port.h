#pragma once
// The filter manager's user-mode side: FilterConnectCommunicationPort,
// FilterSendMessage and CloseHandle of the port.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/win32_types.h"

namespace Platform {

class FilterPort {
 public:
  virtual ~FilterPort() = default;

  // FilterConnectCommunicationPort. A negative HRESULT means no connection.
  virtual HResult ConnectCommunicationPort(std::u16string_view portName, uint32_t options,
                                           std::span<const uint8_t> context, Handle* port) = 0;
  // FilterSendMessage. The driver may write into the input buffer as well as into the
  // output buffer (the port of this system answers its record count in the request
  // word). bytesReturned receives how many output bytes the driver wrote.
  virtual HResult SendMessage(Handle port, std::span<uint8_t> input, std::span<uint8_t> output,
                              uint32_t* bytesReturned) = 0;
  virtual Win32Error ClosePort(Handle port) = 0;
};

}  // namespace Platform
