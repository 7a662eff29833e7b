#include "families/tasks/task_scan.h"

#include <vector>

#include "database/load_point_database.h"
#include "database/row_readers.h"
#include "families/common/class_indirection.h"
#include "families/services/service_scan.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "ledger/load_point_state.h"
#include "ledger/rescan_pass.h"
#include "platform/scoped_handle.h"
#include "platform/text_encoding.h"
#include "util/path_routines.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

using Database::IndirectionRows;
using enum Intake::LoadPointType;
using Ledger::FullScanStopping;
using Ledger::LedgerContext;
using Ledger::NoteDisabledInScan;
using Ledger::ReconcileLoadPoint;

namespace Families {

namespace {

// Task files are small; anything bigger than this is not a task the scheduler wrote.
constexpr uint64_t kMaxTaskFileSize = 16u * 1024u * 1024u;

// The whole file through the machine's file system (task paths are Windows paths).
// The scheduler may hold the file open for writing, so writers are tolerated.
bool ReadWholeFile(Platform::System& system, const std::u16string& path,
                   std::vector<uint8_t>& bytes) {
  Platform::FileSystem& files = system.Files();
  Platform::ScopedFile file;
  if (files.CreateFile(path, Platform::kGenericRead,
                       Platform::kFileShareRead | Platform::kFileShareWrite,
                       Platform::kOpenExisting, Platform::kFileAttributeNormal,
                       file.Receive(files)) != Platform::kErrorSuccess) {
    return false;
  }
  uint64_t size = 0;
  if (files.GetFileSize(file.Get(), &size) != Platform::kErrorSuccess || size > kMaxTaskFileSize) {
    return false;
  }
  bytes.assign(static_cast<size_t>(size), 0);
  uint32_t read = 0;
  if (size > 0 && files.ReadFile(file.Get(), bytes, &read) != Platform::kErrorSuccess) {
    return false;
  }
  bytes.resize(read);
  return true;
}

std::u16string ChildText(const pugi::xml_node& node, const char* name) {
  return Platform::Utf8ToUtf16(node.child_value(name));
}

// The scheduler runs the first Exec action of a task, so an Exec anywhere among the
// actions counts before a ComHandler that may be listed ahead of it.
void ReadActions(const pugi::xml_node& actions, TaskDefinition& task) {
  if (pugi::xml_node exec = actions.child("Exec")) {
    task.command = ChildText(exec, "Command");
    task.arguments = ChildText(exec, "Arguments");
    task.commandLine = task.command;
    if (!task.arguments.empty()) task.commandLine += u" " + task.arguments;
  } else if (pugi::xml_node handler = actions.child("ComHandler")) {
    task.comHandler = 1;
    task.command = ChildText(handler, "ClassId");
  }
}

void RefreshTaskClass(LedgerContext& context, const TaskDefinition& task, int32_t key,
                      bool wow64) {
  IndirectionRows indirection;
  context.Database()->FindIndirectionEntry(key, indirection);
  int32_t indirectionKey = indirection.HasRows() ? indirection.KEY(0) : 0;
  RefreshIndirection(context, task.command, key, indirectionKey, kTaskClassMatcherCode, wow64);
}

}  // namespace

std::u16string TaskCacheKeyPath(bool wow64) {
  return wow64 ? u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks"
               : u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks";
}

std::u16string TasksFolder(Platform::System& system, bool wow64) {
  int csidl = wow64 ? Platform::kCsidlSystemX86 : Platform::kCsidlSystem;
  return VyrUtilities::GetSpecialFolder(system, csidl) + u"\\Tasks";
}

int32_t ParseTaskXml(Platform::System& system, TaskDefinition& task,
                     const std::u16string& filePath) {
  task.document.reset();
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(system, filePath, bytes)) return 0;
  // Automatic detection reads the byte-order mark, so UTF-16 files as Windows writes
  // them parse as well as UTF-8 ones.
  if (!task.document.load_buffer(bytes.data(), bytes.size())) return 0;
  pugi::xml_node root = task.document.child("Task");
  if (!root) return 0;
  if (pugi::xml_node settings = root.child("Settings")) {
    const std::u16string enabled = ChildText(settings, "Enabled");
    if (VyrUtilities::EqualsIgnoreCase(enabled, u"true")) task.enabled = 1;
    if (VyrUtilities::EqualsIgnoreCase(enabled, u"false")) task.disabled = 1;
  }
  if (pugi::xml_node actions = root.child("Actions")) ReadActions(actions, task);
  return 1;
}

int32_t ScanTasks(LedgerContext& context, int32_t startFlag, bool wow64) {
  Platform::System& system = context.System();
  const std::u16string cacheKey = TaskCacheKeyPath(wow64);
  const std::u16string folder = TasksFolder(system, wow64);
  const uint32_t type = wow64 ? kWow64TaskType : kNativeTaskType;
  std::vector<std::u16string> guids;
  VyrUtilities::EnumerateSubkeys(system, Platform::kHkeyLocalMachine, cacheKey, guids);
  int32_t reconciled = 0;
  for (const std::u16string& guid : guids) {
    if (FullScanStopping(context)) break;
    std::u16string taskPath;
    if (!VyrUtilities::ReadRegistryString(system, Platform::kHkeyLocalMachine,
                                          cacheKey + u"\\" + guid, u"Path", taskPath)) {
      continue;
    }
    TaskDefinition task;
    if (!ParseTaskXml(system, task, folder + taskPath) || !task.enabled) {
      // Its row, if it had one, goes at the scan's end, marked as a disable.
      if (task.disabled) NoteDisabledInScan(context.ScanState(), type, u"", guid);
      continue;
    }
    int32_t key = 0;
    ReconcileLoadPoint(context, type, u"", guid, task.commandLine, taskPath, &key);
    ++reconciled;
    if (task.comHandler && startFlag == 1 && key > 0 && context.Database() != nullptr) {
      RefreshTaskClass(context, task, key, wow64);
    }
  }
  return reconciled;
}

}  // namespace Families
