// The file-system, directory-change, environment and named-object contracts run
// against the emulated machine.
#include "platform/contract/directory_changes_contract.h"
#include "platform/contract/environment_contract.h"
#include "platform/contract/file_system_contract.h"
#include "platform/contract/named_objects_contract.h"
#include "platform/emulated/machine/machine.h"
#include "support/temporary_folder.h"

namespace {

class EmulatedBackend {
 public:
  EmulatedBackend() { std::filesystem::create_directories(folder_.Path() / "contract"); }
  Platform::FileSystem& Files() { return machine_.Process(4).Files(); }
  Platform::Environment& Environment() { return machine_.Process(4).Environment(); }
  Platform::NamedObjects& Objects() { return machine_.Process(4).Objects(); }
  std::u16string Folder() { return u"C:\\contract"; }

 private:
  TemporaryFolder folder_;
  Emulated::Machine machine_{ConfigOnDrive(folder_.Path())};
};

using Backends = ::testing::Types<EmulatedBackend>;

}  // namespace

namespace FileSystemContract {
INSTANTIATE_TYPED_TEST_SUITE_P(Emulated, FileSystemContractTest, Backends);
}
namespace DirectoryChangesContract {
INSTANTIATE_TYPED_TEST_SUITE_P(Emulated, DirectoryChangesContractTest, Backends);
}
namespace EnvironmentContract {
INSTANTIATE_TYPED_TEST_SUITE_P(Emulated, EnvironmentContractTest, Backends);
}
namespace NamedObjectsContract {
INSTANTIATE_TYPED_TEST_SUITE_P(Emulated, NamedObjectsContractTest, Backends);
}
