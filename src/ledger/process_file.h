#pragma once
// Who made a change: the process's image file as a Processes row.

#include <cstdint>
#include <memory>
#include <string>

#include "database/file_information.h"
#include "fileinfo/signature_verifier.h"

namespace Ledger {

class LedgerContext;

// What is read of a process's image before anything is written: file facts,
// version strings, its signature check and download data.
struct ProcessFile {
  Database::FileInformation record;
  FileInfo::FileSignature signature;
  std::u16string download;
};

// Reads the image of processId. A process the process table does not know gives
// empty fields. Shared with the image cache, which may hand it to later events.
std::shared_ptr<const ProcessFile> ReadProcessFile(LedgerContext& context, uint64_t processId);
// Its new Processes row with the signature rows and download data; its KEY, or -1
// when the insert failed.
int32_t WriteProcessFile(LedgerContext& context, const ProcessFile& file);
// Both in one.
int32_t AddProcessFile(LedgerContext& context, uint64_t processId);

}  // namespace Ledger
