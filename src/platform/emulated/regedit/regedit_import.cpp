#include "platform/emulated/regedit/regedit_import.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "platform/emulated/regedit/regedit_parse.h"
#include "platform/emulated/registry/registry_store.h"
#include "platform/text_encoding.h"

namespace Emulated {

bool ImportRegedit(RegistryStore& store, std::span<const uint8_t> bytes,
                   std::u16string_view fileName, std::u16string* error,
                   std::u16string_view currentUserSid, const RegeditKeyCheck& check) {
  std::vector<RegistryEdit> edits;
  if (!ParseRegedit(bytes, fileName, currentUserSid, &edits, error, check)) return false;
  store.Apply(edits);
  return true;
}

bool ImportRegeditFile(RegistryStore& store, const std::string& hostPath, std::u16string* error,
                       std::u16string_view currentUserSid, const RegeditKeyCheck& check) {
  const size_t slash = hostPath.find_last_of("/\\");
  const std::u16string fileName =
      Platform::Utf8ToUtf16(slash == std::string::npos ? hostPath : hostPath.substr(slash + 1));
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) {
    if (error != nullptr) *error = fileName + u": cannot be read";
    return false;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  return ImportRegedit(store, bytes, fileName, error, currentUserSid, check);
}

}  // namespace Emulated
