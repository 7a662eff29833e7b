#include "intake/file_object_table.h"

#include <new>

#include "util/drive_map.h"

namespace Intake {

namespace {

// The sub-kind the driver sets on a create of a directory.
constexpr uint32_t kDetailDirectory = 2;

// Closed contexts kept for reuse; beyond this many, a close frees its context.
constexpr size_t kMaxSpareNodes = 64;

}  // namespace

const FileObjectContext* FileObjectTable::Find(uint64_t key) const {
  const auto found = contexts_.find(key);
  return found == contexts_.end() ? nullptr : &found->second;
}

FileObjectContext& FileObjectTable::ContextOf(const DriverRecord& record) {
  const auto found = contexts_.find(record.id1);
  if (found != contexts_.end()) return found->second;
  Contexts::iterator inserted;
  if (spareNodes_.empty()) {
    inserted = contexts_.try_emplace(record.id1).first;
  } else {
    Contexts::node_type node = std::move(spareNodes_.back());
    spareNodes_.pop_back();
    node.key() = record.id1;
    inserted = contexts_.insert(std::move(node)).position;
  }
  FileObjectContext& context = inserted->second;
  context.key = record.id1;
  bool terminated = false;
  ReadWideString(record.data, 0, context.name, terminated);
  const bool opensOrWrites =
      record.operation == kFileOpCreate || record.operation == kFileOpWriteStarted;
  context.detailFlag = opensOrWrites && record.detail == kDetailDirectory ? 1 : 0;
  return context;
}

void FileObjectTable::Close(uint64_t key) {
  if (spareNodes_.size() >= kMaxSpareNodes) {
    contexts_.erase(key);
    return;
  }
  Contexts::node_type node = contexts_.extract(key);
  if (node.empty()) return;
  // Only the name's storage is worth keeping; the pair lists start empty again.
  node.mapped().pendingPairs.clear();
  node.mapped().markedPairs.clear();
  try {
    spareNodes_.push_back(std::move(node));
  } catch (const std::bad_alloc&) {
    // The node is freed on return instead of kept.
  }
}

void FileObjectTable::Emit(FileEntry& entry, const FileObjectContext& context,
                           FileObjectContext::Pair pair, uint32_t operation) {
  entry.SetHeader(system_, kEntryFile, pair.first, pair.second);
  entry.SetFile(operation, driveMap_.DevicePathToDosPath(context.name), context.detailFlag);
}

bool FileObjectTable::Step(const DriverRecord& record, FileEntry& entry) {
  FileObjectContext& context = ContextOf(record);
  const FileObjectContext::Pair pair{record.id2, record.id3};
  switch (record.operation) {
    case kFileOpCreate:
      Emit(entry, context, pair, kFileCreated);
      return true;
    case kFileOpDisposition:
      if (record.detail != 0) {
        context.markedPairs.push_back(pair);
      } else {
        context.markedPairs.remove(pair);
      }
      return false;
    case kFileOpClose: {
      const bool deleted = !context.markedPairs.empty();
      if (deleted) Emit(entry, context, context.markedPairs.front(), kFileDeleted);
      Close(record.id1);
      return deleted;
    }
    case kFileOpRename:
      return Rename(record, context, entry);
    case kFileOpWriteStarted:
      context.pendingPairs.insert(pair);
      return false;
    case kFileOpWriteFinished:
      if (context.pendingPairs.erase(pair) == 0) return false;
      Emit(entry, context, pair, kFileWritten);
      return true;
    default:
      return false;
  }
}

bool FileObjectTable::Rename(const DriverRecord& record, FileObjectContext& context,
                             FileEntry& entry) {
  std::u16string oldName;
  bool terminated = false;
  const size_t firstSize = ReadWideString(record.data, 0, oldName, terminated);
  // Without a terminated first name and bytes after it there is no new name; the
  // object keeps its name.
  if (!terminated || firstSize >= record.data.size()) return false;
  std::u16string newName;
  ReadWideString(record.data, firstSize, newName, terminated);
  Emit(entry, context, {record.id2, record.id3}, kFileRenamed);
  entry.SetSecondPath(newName);
  context.name = driveMap_.DosPathToDevicePath(newName);
  return true;
}

}  // namespace Intake
