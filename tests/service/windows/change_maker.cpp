// The test program of the end-to-end run: it makes real changes to watched
// autostart locations and queues, for the stand-in Filter Manager library, the
// records that the kernel driver would have sent for them, with its own process and
// thread ids, encoded by the project's one record encoder.
//   change_maker set-run NAME DATA      REG_SZ value of HKLM\...\CurrentVersion\Run
//   change_maker delete-run NAME        delete that value
//   change_maker startup-file NAME      create a file in the common startup folder
//   change_maker marker                 queue a thread record only: once the service
//                                       has taken it, its start-up rescan is over
//   change_maker bulk-run COUNT         COUNT values "Bulk<n>" in the Run key, with no
//                                       records: work that only a rescan finds
//   change_maker bench-run records|no-records
//                                       many changes in one process, read from
//                                       standard input, for the timing of a change
//                                       to its commit (see the bench folder):
//                                         set NAME DATA   one Run value, answered "ok"
//                                         burst COUNT     COUNT values "BurstValue<n>"
//                                                         as fast as they go, "ok"
//                                       with records, each set queues its driver
//                                       record, after one record of the process start
// Every change batch starts with the record of this process's own start, as the
// driver would have sent it when the program was launched. With
// BRUMEVALE_CHANGE_RELEASE naming a file, the program stays alive after its change
// until that file exists: the service reads who made a change from the live
// process, so the test lets it go only once the change is recorded.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/emulated/minifilter/driver_record.h"
#include "standin/standin_queue.h"

namespace {

using Emulated::DriverRecord;
namespace Operation = Emulated::DriverOperation;

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char16_t kRunKeyNative[] =
    u"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::u16string U16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

DriverRecord Record(uint32_t operation, uint32_t detail, std::vector<uint8_t> data,
                    uint64_t fileKey = 0) {
  DriverRecord record;
  record.id1 = fileKey;
  record.id2 = GetCurrentProcessId();
  record.id3 = GetCurrentThreadId();
  record.operation = operation;
  record.detail = detail;
  record.data = std::move(data);
  return record;
}

// A batch is written under a temporary name and renamed, so that the stand-in never
// reads it half written; names sort in the order the batches were made.
bool Queue(const std::vector<DriverRecord>& records) {
  std::vector<uint8_t> bytes;
  for (const DriverRecord& record : records) {
    const std::vector<uint8_t> encoded = Emulated::EncodeDriverRecord(record);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
  }
  const std::wstring folder = StandIn::QueueFolder();
  CreateDirectoryW(folder.c_str(), nullptr);
  wchar_t name[64];
  std::swprintf(name, 64, L"\\%020llu-%08lu", GetTickCount64(), GetCurrentProcessId());
  const std::wstring temporary = folder + name + L".tmp", final = folder + name + L".rec";
  const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                  nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size() && MoveFileExW(temporary.c_str(), final.c_str(), 0);
}

// The process start comes first in every batch: the driver reports it before anything
// the process does.
bool QueueChange(std::vector<DriverRecord> records) {
  DriverRecord started = Record(Operation::kProcessStarted, 0, {});
  started.id1 = GetCurrentProcessId();
  records.insert(records.begin(), started);
  return Queue(records);
}

void WaitForRelease() {
  wchar_t release[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"BRUMEVALE_CHANGE_RELEASE", release, MAX_PATH) == 0) return;
  for (int i = 0; i < 2400 && GetFileAttributesW(release) == INVALID_FILE_ATTRIBUTES; ++i) {
    Sleep(50);
  }
}

std::vector<uint8_t> Bytes(const std::wstring& text) {
  const auto* begin = reinterpret_cast<const uint8_t*>(text.c_str());
  return std::vector<uint8_t>(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

int SetRun(const wchar_t* name, const wchar_t* data) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return 1;
  const std::vector<uint8_t> value = Bytes(data);
  const LONG result = RegSetValueExW(key, name, 0, REG_SZ, value.data(), static_cast<DWORD>(value.size()));
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return 1;
  return QueueChange({Record(Operation::kRegistryValueSet, REG_SZ,
                       Emulated::RegistryRecordData(kRunKeyNative, U16(name), value))})
             ? 0
             : 1;
}

int DeleteRun(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return 1;
  const LONG result = RegDeleteValueW(key, name);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return 1;
  return QueueChange({Record(Operation::kRegistryValueDeleted, 0,
                       Emulated::RegistryRecordData(kRunKeyNative, U16(name)))})
             ? 0
             : 1;
}

// The driver names files in the kernel's device form: \Device\HarddiskVolumeN\...
int StartupFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {}, device[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_COMMON_STARTUP, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) {
    return 1;
  }
  const std::wstring path = std::wstring(folder) + L"\\" + name;
  const std::wstring drive = path.substr(0, 2);
  if (QueryDosDeviceW(drive.c_str(), device, MAX_PATH) == 0) return 1;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, "[InternetShortcut]\r\n", 20, &written, nullptr);
  CloseHandle(file);
  const std::u16string kernelName = U16(std::wstring(device) + path.substr(2));
  const uint64_t fileKey = (static_cast<uint64_t>(GetCurrentProcessId()) << 32) | GetTickCount();
  return QueueChange({Record(Operation::kFileCreated, 0, Emulated::FileRecordData(kernelName), fileKey),
                Record(Operation::kFileWriteFinished, 0, Emulated::FileRecordData(kernelName), fileKey),
                Record(Operation::kFileClosed, 0, Emulated::FileRecordData(kernelName), fileKey)})
             ? 0
             : 1;
}

int BulkRun(const wchar_t* countText) {
  const unsigned long count = std::wcstoul(countText, nullptr, 10);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return 1;
  }
  LONG result = ERROR_SUCCESS;
  for (unsigned long i = 0; i < count && result == ERROR_SUCCESS; ++i) {
    wchar_t name[32], data[64];
    std::swprintf(name, 32, L"Bulk%06lu", i);
    const int length = std::swprintf(data, 64, L"C:\\bulk\\b%06lu.exe", i);
    result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                            static_cast<DWORD>((length + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? 0 : 1;
}

// The benchmark's changer: the Run key stays open and the process stays alive, so that
// a change costs what a change costs and not a program's start under Wine. The driver
// reports the process start once, then one record per set. A burst's records go in
// batches of 100: one file per record would time the queue folder, and a batch larger
// than the service's reply buffer would never be handed out.
class BenchRun {
 public:
  explicit BenchRun(bool records) : records_(records) {}
  ~BenchRun() {
    if (key_ != nullptr) RegCloseKey(key_);
  }

  int Run() {
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS) {
      return 1;
    }
    if (records_ && !QueueChange({})) return 1;
    char line[1024];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
      if (!Command(line)) return 1;
      std::printf("ok\n");
      std::fflush(stdout);
    }
    return 0;
  }

 private:
  bool Command(const std::string& line) {
    const size_t end = line.find_last_not_of("\r\n");
    const std::string text = line.substr(0, end == std::string::npos ? 0 : end + 1);
    if (text.rfind("burst ", 0) == 0) return Burst(std::strtoul(text.c_str() + 6, nullptr, 10));
    const size_t space = text.find(' ', 4);
    if (text.rfind("set ", 0) != 0 || space == std::string::npos) return false;
    std::vector<DriverRecord> pending;
    return Set(Wide(text.substr(4, space - 4)), Wide(text.substr(space + 1)), &pending) &&
           Flush(&pending);
  }

  bool Burst(unsigned long count) {
    std::vector<DriverRecord> pending;
    for (unsigned long i = 0; i < count; ++i) {
      if (!Set(L"BurstValue" + std::to_wstring(i), L"C:\\Program Files\\Burst\\b" + std::to_wstring(i) + L".exe",
               &pending)) {
        return false;
      }
      if (pending.size() == 100 && !Flush(&pending)) return false;
    }
    return Flush(&pending);
  }

  bool Set(const std::wstring& name, const std::wstring& data, std::vector<DriverRecord>* pending) {
    const std::vector<uint8_t> value = Bytes(data);
    if (RegSetValueExW(key_, name.c_str(), 0, REG_SZ, value.data(), static_cast<DWORD>(value.size())) !=
        ERROR_SUCCESS) {
      return false;
    }
    if (records_) {
      pending->push_back(Record(Operation::kRegistryValueSet, REG_SZ,
                                Emulated::RegistryRecordData(kRunKeyNative, U16(name), value)));
    }
    return true;
  }

  bool Flush(std::vector<DriverRecord>* pending) {
    const bool ok = pending->empty() || Queue(*pending);
    pending->clear();
    return ok;
  }

  // The benchmark's names and data are ASCII.
  static std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

  bool records_;
  HKEY key_ = nullptr;
};

int Marker() {
  DriverRecord record = Record(Operation::kThreadCreated, 0, {});
  record.id1 = GetCurrentThreadId();
  return Queue({record}) ? 0 : 1;
}

}  // namespace

int Change(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"set-run") == 0) return SetRun(argv[2], argv[3]);
  if (argc == 3 && std::wcscmp(argv[1], L"delete-run") == 0) return DeleteRun(argv[2]);
  if (argc == 3 && std::wcscmp(argv[1], L"startup-file") == 0) return StartupFile(argv[2]);
  return 2;
}

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wcscmp(argv[1], L"marker") == 0) return Marker();
  if (argc == 3 && std::wcscmp(argv[1], L"bulk-run") == 0) return BulkRun(argv[2]);
  if (argc == 3 && std::wcscmp(argv[1], L"bench-run") == 0 &&
      (std::wcscmp(argv[2], L"records") == 0 || std::wcscmp(argv[2], L"no-records") == 0)) {
    return BenchRun(std::wcscmp(argv[2], L"records") == 0).Run();
  }
  const int result = Change(argc, argv);
  if (result == 0) WaitForRelease();
  if (result != 2) return result;
  std::fprintf(stderr, "usage: change_maker set-run NAME DATA | delete-run NAME | startup-file NAME | marker | bulk-run COUNT | bench-run records|no-records\n");
  return 2;
}
