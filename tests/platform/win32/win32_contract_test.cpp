// The shared platform contracts run against the Win32 adapters of the running
// process. Under Wine, the cases where Wine departs from documented Windows
// behaviour are skipped with that behaviour named (see wine_difference.h).
#include <filesystem>
#include <optional>

#include "platform/contract/directory_changes_contract.h"
#include "platform/contract/environment_contract.h"
#include "platform/contract/file_system_contract.h"
#include "platform/contract/named_objects_contract.h"
#include "platform/contract/processes_contract.h"
#include "platform/contract/registry_contract.h"
#include "platform/win32/win32_system.h"
#include "wine_detection.h"

namespace {

// A fresh folder below the temporary directory for each test, removed afterwards.
class Win32Backend {
 public:
  Win32Backend() {
    static int counter = 0;
    folder_ = std::filesystem::temp_directory_path() /
              ("brumevale-contract-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++counter));
    std::filesystem::create_directories(folder_);
  }
  ~Win32Backend() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  Platform::Registry& Registry() { return system_.Registry(); }
  Platform::FileSystem& Files() { return system_.Files(); }
  Platform::Environment& Environment() { return system_.Environment(); }
  Platform::NamedObjects& Objects() { return system_.Objects(); }
  Platform::Processes& Processes() { return system_.Processes(); }
  std::u16string Folder() {
    const std::wstring path = folder_.wstring();
    return std::u16string(path.begin(), path.end());
  }
  std::u16string SelfExeName() { return u"platform_win32_tests.exe"; }
  // Process ids are multiples of 4 on Windows and Wine alike.
  uint32_t AbsentProcessId() { return 0xFFFFFFF0u; }
  bool UnderWine() const { return WineTest::RunningUnderWine(); }
  // csrss.exe is protected on every Windows since Vista.
  std::optional<uint32_t> ProtectedProcessId() {
    std::vector<Platform::ProcessSnapshotEntry> entries;
    if (Processes().SnapshotProcesses(&entries) != Platform::kErrorSuccess) return std::nullopt;
    for (const auto& entry : entries)
      if (entry.exeFile == u"csrss.exe") return entry.processId;
    return std::nullopt;
  }

 private:
  Win32::System system_;
  std::filesystem::path folder_;
};

using Backends = ::testing::Types<Win32Backend>;

}  // namespace

namespace FileSystemContract {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, FileSystemContractTest, Backends);
}
namespace DirectoryChangesContract {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, DirectoryChangesContractTest, Backends);
}
namespace EnvironmentContract {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, EnvironmentContractTest, Backends);
}
namespace NamedObjectsContract {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, NamedObjectsContractTest, Backends);
}
namespace RegistryContract {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, RegistryContractTest, Backends);
}
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, ProcessesContract, Backends);
