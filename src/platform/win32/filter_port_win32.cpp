#include "platform/win32/filter_port_win32.h"

#include "platform/win32/win32_text.h"

namespace Win32 {

Platform::HResult FilterPort::ConnectCommunicationPort(std::u16string_view portName,
                                                       uint32_t options,
                                                       std::span<const uint8_t> context,
                                                       Handle* port) {
  HANDLE connected = nullptr;
  const HRESULT result = FilterConnectCommunicationPort(
      Wide(portName).c_str(), options, context.empty() ? nullptr : context.data(),
      static_cast<WORD>(context.size()), nullptr, &connected);
  if (SUCCEEDED(result)) *port = FromHandle(connected);
  return result;
}

Platform::HResult FilterPort::SendMessage(Handle port, std::span<uint8_t> input,
                                          std::span<uint8_t> output, uint32_t* bytesReturned) {
  DWORD returned = 0;
  const HRESULT result = FilterSendMessage(ToHandle(port), input.data(),
                                           static_cast<DWORD>(input.size()), output.data(),
                                           static_cast<DWORD>(output.size()), &returned);
  if (SUCCEEDED(result) && bytesReturned != nullptr) *bytesReturned = returned;
  return result;
}

Platform::Win32Error FilterPort::ClosePort(Handle port) {
  return CloseHandle(ToHandle(port)) ? ERROR_SUCCESS : LastError();
}

}  // namespace Win32
