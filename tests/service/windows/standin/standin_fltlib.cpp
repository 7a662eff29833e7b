// A stand-in for the Filter Manager's user-mode library, for tests only: placed
// beside BrumevaleLogger.exe with a native DLL override, it gives the service the
// port "\BrumevaleLookoutPort" that the kernel driver would give it, and hands out
// the driver records that test programs left in the queue folder.
//
// A test makes it behave as a driver that is not loaded, or one that stopped under
// a connected service, with a file of that name in the queue folder: "refuse-port"
// (the port cannot be connected), "fail-exchange" (every message to the port fails).
//
// Queue: one file per batch of encoded records, "*.rec" in QueueFolder(), taken in
// name order; a file is deleted once its records were handed out. A test program
// writes a batch under another name and renames it to ".rec", so that a batch is
// never read half written.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "standin_queue.h"

namespace {

constexpr wchar_t kPortName[] = L"\\BrumevaleLookoutPort";

std::vector<std::wstring> QueuedFiles() {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const HANDLE find = FindFirstFileW((StandIn::QueueFolder() + L"\\*.rec").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(found.cFileName);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadWhole(const std::wstring& path, std::vector<uint8_t>* bytes) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  DWORD read = 0;
  const bool ok = GetFileSizeEx(file, &size) &&
                  (bytes->resize(static_cast<size_t>(size.QuadPart)), true) &&
                  ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr) &&
                  read == bytes->size();
  CloseHandle(file);
  return ok;
}

// Records of a batch laid end to end: 48 bytes of fixed part and the data length
// that the first word of each record gives.
uint32_t CountRecords(const std::vector<uint8_t>& bytes) {
  uint32_t count = 0;
  for (size_t at = 0; at + 48 <= bytes.size(); ++count) {
    const uint32_t length = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                            static_cast<uint32_t>(bytes[at + 3]) << 24;
    at += 48 + length;
  }
  return count;
}

bool Told(const wchar_t* mode) {
  return GetFileAttributesW((StandIn::QueueFolder() + L"\\" + mode).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI FilterConnectCommunicationPort(
    LPCWSTR portName, DWORD, LPCVOID, WORD, LPSECURITY_ATTRIBUTES, HANDLE* port) {
  if (portName == nullptr || port == nullptr || lstrcmpiW(portName, kPortName) != 0) {
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  }
  // What the Filter Manager answers while no driver has the port open.
  if (Told(L"refuse-port")) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  // Any handle that CloseHandle accepts will do for the port.
  *port = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return *port != nullptr ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

// Whole batches go out while they fit the reply; the count of records goes into the
// request word, as the driver writes it.
extern "C" __declspec(dllexport) HRESULT WINAPI FilterSendMessage(HANDLE, LPVOID input,
                                                                  DWORD inputSize, LPVOID output,
                                                                  DWORD outputSize,
                                                                  LPDWORD bytesReturned) {
  if (input == nullptr || inputSize < 4 || output == nullptr) return E_INVALIDARG;
  // The driver reads the request word as an aligned access; the filter manager does
  // not align the caller's buffer, so a misaligned word faults in the driver.
  if (reinterpret_cast<uintptr_t>(input) % 8 != 0) return HRESULT_FROM_WIN32(ERROR_NOACCESS);
  // What a port whose driver was unloaded answers.
  if (Told(L"fail-exchange")) return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
  uint32_t count = 0;
  DWORD used = 0;
  for (const std::wstring& name : QueuedFiles()) {
    const std::wstring path = StandIn::QueueFolder() + L"\\" + name;
    std::vector<uint8_t> batch;
    if (!ReadWhole(path, &batch)) break;
    if (used + batch.size() > outputSize) break;
    std::copy(batch.begin(), batch.end(), static_cast<uint8_t*>(output) + used);
    used += static_cast<DWORD>(batch.size());
    count += CountRecords(batch);
    DeleteFileW(path.c_str());
  }
  std::copy_n(reinterpret_cast<const uint8_t*>(&count), 4, static_cast<uint8_t*>(input));
  if (bytesReturned != nullptr) *bytesReturned = used;
  return S_OK;
}
