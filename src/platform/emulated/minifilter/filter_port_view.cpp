#include "platform/emulated/minifilter/filter_port_view.h"

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/minifilter/minifilter.h"

namespace Emulated {

// Options and connection context are accepted and ignored: the driver's port takes
// connections without context.
HResult FilterPortView::ConnectCommunicationPort(std::u16string_view portName, uint32_t,
                                                 std::span<const uint8_t>, Handle* port) {
  return machine_.Filter().Connect(context_.processId, portName, port);
}

HResult FilterPortView::SendMessage(Handle port, std::span<uint8_t> input,
                                    std::span<uint8_t> output, uint32_t* bytesReturned) {
  return machine_.Filter().Exchange(context_.processId, port, input, output, bytesReturned);
}

Win32Error FilterPortView::ClosePort(Handle port) {
  return machine_.Filter().Disconnect(context_.processId, port);
}

}  // namespace Emulated
