// Who made a change: the process's image file, its signature rows and its download
// data, written as one new Processes row per change.

#include "ledger/process_file.h"

#include "database/load_point_database.h"
#include "fileinfo/file_information.h"
#include "fileinfo/signature_verifier.h"
#include "intake/process_monitor.h"
#include "ledger/ledger_context.h"
#include "ledger/live_batch.h"
#include "ledger/process_image_cache.h"
#include "tracker/tracker_data.h"

using Database::LoadPointDatabase;
using FileInfo::CheckFileSignature;
using FileInfo::LoadFileInformation;
using FileInfo::WriteFileSignature;

namespace Ledger {

namespace {

// The tracker's three lines (address, owner, time) joined by line feeds, or empty
// when the file carries no download tag.
std::u16string DownloadData(Platform::System& system, const std::u16string& path) {
  const std::optional<BrumevaleUtil::DownloadTag> tag = BrumevaleUtil::ReadDownloadTag(system, path);
  return tag ? tag->Text() : std::u16string();
}

}  // namespace

std::shared_ptr<const ProcessFile> ReadProcessFile(LedgerContext& context, uint64_t processId) {
  Platform::System& system = context.System();
  // A process the table does not know still gets its row, with empty fields: the
  // change happened, and who made it is simply not known.
  const std::u16string imagePath = context.ProcessTable().GetProcessPath(processId);
  ProcessImageCache& images = context.ProcessImages();
  bool lookedAt = false;
  if (auto known = images.Find(system, imagePath, LiveBatch::Open(), &lookedAt)) {
    if (!lookedAt) return known;
    // The image stands as it was read, so its path as the process table has it
    // names the same file.
    std::u16string download = DownloadData(system, imagePath);
    if (download == known->download) return known;
    auto updated = std::make_shared<ProcessFile>(*known);
    updated->download = std::move(download);
    images.Replace(imagePath, updated);
    return updated;
  }
  // Taken before the read: a file that changes while it is read is read again.
  const auto stamp = ProcessImageCache::Stamp(system, imagePath);
  auto read = std::make_shared<ProcessFile>();
  ProcessFile& file = *read;
  LoadFileInformation(system, file.record, imagePath);
  // Without an image there is nothing to check. A known image that cannot be read
  // is still checked (with the empty path its record holds): the verifier reports
  // it as a file it could not open, which is itself worth a row.
  if (!imagePath.empty()) file.signature = CheckFileSignature(system, file.record.fullPath);
  file.download = DownloadData(system, file.record.fullPath);
  if (stamp) images.Remember(system, imagePath, *stamp, read);
  return read;
}

int32_t WriteProcessFile(LedgerContext& context, const ProcessFile& file) {
  LoadPointDatabase* database = context.Database();
  if (!database) return -1;
  const int32_t signatureKey = WriteFileSignature(*database, file.signature);
  const int32_t processKey = database->AddProcessEntry(file.record, signatureKey, false);
  // A signature row without its process would never be reached again.
  if (processKey < 1 && signatureKey >= 1) database->RemoveDigitalSignatureEntry(signatureKey);
  if (!file.download.empty()) database->AddDownloadDataToProcessFile(processKey, file.download);
  return processKey;
}

int32_t AddProcessFile(LedgerContext& context, uint64_t processId) {
  if (!context.Database()) return -1;
  return WriteProcessFile(context, *ReadProcessFile(context, processId));
}

}  // namespace Ledger
