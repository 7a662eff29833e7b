#pragma once
// Checks, on the machine at hand, the file a load point's command line starts:
// whether it is there, its version and company, and its signer by the same check
// the service makes of a process image (embedded signature, then the catalogs).

#include <string>

#include "database/file_information.h"
#include "fileinfo/signature_verifier.h"
#include "platform/system.h"
#include "reader/inventory/folder_listings.h"
#include "reader/inventory/inventory_format.h"

namespace Reader {

class FileChecker {
 public:
  explicit FileChecker(Platform::System& system);
  FileCheck Check(const std::string& commandLine);

 private:
  std::u16string FileOf(const std::u16string& commandLine);
  std::u16string Resolve(const std::u16string& bare);
  bool Exists(const std::u16string& path);
  bool Load(const std::u16string& path, Database::FileInformation* info);
  std::u16string Expand(const std::u16string& text);
  std::u16string TargetOf(const std::u16string& shortcut);

  Platform::System& system_;
  FileInfo::SignatureVerifier verifier_;
  FolderListings listings_;
  std::u16string windows_, system32_;
};

}  // namespace Reader
