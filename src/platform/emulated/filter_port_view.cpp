#include "platform/emulated/filter_port_view.h"

#include "platform/emulated/machine.h"

namespace Emulated {

using namespace Platform;

HResult FilterPortView::ConnectCommunicationPort(std::u16string_view portName, uint32_t options, std::span<const uint8_t> context, Handle* port) { return Platform::kEFail; }

HResult FilterPortView::SendMessage(Handle port, std::span<uint8_t> input, std::span<uint8_t> output, uint32_t* bytesReturned) { return Platform::kEFail; }

Win32Error FilterPortView::ClosePort(Handle port) { return Platform::kErrorNotSupported; }

}  // namespace Emulated
