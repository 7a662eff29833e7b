#pragma once
// FilterPort of one process of the emulated machine: the minifilter's port as that
// process sees it. Port handles belong to the process that connected.

#include "platform/filter_port.h"
#include "platform/emulated/machine/view_context.h"

namespace Emulated {

class Machine;

class FilterPortView : public Platform::FilterPort {
 public:
  FilterPortView(Machine& machine, ViewContext context) : machine_(machine), context_(context) {}

  HResult ConnectCommunicationPort(std::u16string_view portName, uint32_t options,
                                   std::span<const uint8_t> context, Handle* port) override;
  HResult SendMessage(Handle port, std::span<uint8_t> input, std::span<uint8_t> output,
                      uint32_t* bytesReturned) override;
  Win32Error ClosePort(Handle port) override;

 private:
  Machine& machine_;
  ViewContext context_;
};

}  // namespace Emulated
