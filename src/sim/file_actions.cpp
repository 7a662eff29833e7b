#include "sim/file_actions.h"

#include <vector>

#include "sim/scenario_player.h"

namespace Sim {
namespace {

using Platform::Handle;
using Platform::Win32Error;

// Data moves in blocks, as CopyFile moves it; each block is one write the driver
// reports, so a large file shows several.
constexpr size_t kCopyBlock = 1 << 20;

// Closes the handle when the action is done, whichever way it ends.
class OpenFile {
 public:
  explicit OpenFile(Platform::FileSystem& files) : files_(files) {}
  ~OpenFile() {
    if (handle_ != 0) files_.CloseFile(handle_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  Handle* Out() { return &handle_; }
  Handle Get() const { return handle_; }
  void Close() {
    if (handle_ != 0) files_.CloseFile(handle_);
    handle_ = 0;
  }

 private:
  Platform::FileSystem& files_;
  Handle handle_ = 0;
};

// Installers create the folders they write into; so does a scenario.
void CreateParentFolders(Platform::FileSystem& files, std::u16string_view path) {
  for (size_t at = path.find(u'\\', 3); at != std::u16string_view::npos; at = path.find(u'\\', at + 1))
    files.CreateDirectory(path.substr(0, at));
}

bool WriteFile(Platform::FileSystem& files, std::u16string_view path, const std::vector<uint8_t>& bytes,
               std::string* problem) {
  const size_t stream = path.find(u':', 2);
  CreateParentFolders(files, path.substr(0, stream));
  OpenFile file(files);
  Win32Error rc = files.CreateFile(path, Platform::kGenericWrite, Platform::kFileShareRead,
                                   Platform::kCreateAlways, Platform::kFileAttributeNormal, file.Out());
  if (rc != Platform::kErrorSuccess) {
    *problem = ActionFailed("creating the file", rc);
    return false;
  }
  uint32_t written = 0;
  if (!bytes.empty()) rc = files.WriteFile(file.Get(), bytes, &written);
  if (rc != Platform::kErrorSuccess) *problem = ActionFailed("writing the file", rc);
  return rc == Platform::kErrorSuccess;
}

bool CopyBlocks(Platform::FileSystem& files, Handle from, Handle to, std::string* problem) {
  std::vector<uint8_t> block(kCopyBlock);
  for (;;) {
    uint32_t read = 0;
    Win32Error rc = files.ReadFile(from, block, &read);
    if (rc != Platform::kErrorSuccess) {
      *problem = ActionFailed("reading the source", rc);
      return false;
    }
    if (read == 0) return true;
    uint32_t written = 0;
    rc = files.WriteFile(to, std::span<const uint8_t>(block.data(), read), &written);
    if (rc != Platform::kErrorSuccess) {
      *problem = ActionFailed("writing the copy", rc);
      return false;
    }
  }
}

// As CopyFile without fail-if-exists: the source is opened for reading (others may
// read it meanwhile), the destination created or emptied with the source's
// attributes, the data written block by block, the source's last write time given
// to the copy, and the destination closed before the source.
bool CopyFile(Platform::FileSystem& files, std::u16string_view from, std::u16string_view to,
              std::string* problem) {
  Platform::FileAttributeData source;
  Win32Error rc = files.GetFileAttributesEx(from, &source);
  if (rc == Platform::kErrorSuccess && (source.attributes & Platform::kFileAttributeDirectory))
    rc = Platform::kErrorAccessDenied;
  OpenFile in(files), out(files);
  if (rc == Platform::kErrorSuccess)
    rc = files.CreateFile(from, Platform::kGenericRead, Platform::kFileShareRead, Platform::kOpenExisting,
                          Platform::kFileAttributeNormal, in.Out());
  if (rc != Platform::kErrorSuccess) {
    *problem = ActionFailed("opening the source", rc);
    return false;
  }
  CreateParentFolders(files, to);
  rc = files.CreateFile(to, Platform::kGenericWrite, 0, Platform::kCreateAlways,
                        source.attributes | Platform::kFileAttributeNormal, out.Out());
  if (rc != Platform::kErrorSuccess) {
    *problem = ActionFailed("creating the copy", rc);
    return false;
  }
  if (!CopyBlocks(files, in.Get(), out.Get(), problem)) return false;
  files.SetFileTime(to, 0, 0, source.lastWriteTime);
  out.Close();
  return true;
}

}  // namespace

bool PlayFileAction(Platform::FileSystem& files, const ScenarioAction& a, std::string* problem) {
  Win32Error rc = Platform::kErrorSuccess;
  switch (a.kind) {
    case ActionKind::kFileRename:
      CreateParentFolders(files, a.newPath);
      rc = files.MoveFileEx(a.path, a.newPath, Platform::kMoveFileReplaceExisting);
      break;
    case ActionKind::kFileDelete:
      rc = files.DeleteFile(a.path);
      break;
    case ActionKind::kFileCopy:
      return CopyFile(files, a.path, a.newPath, problem);
    case ActionKind::kFileCreate:
      return WriteFile(files, a.path, {}, problem);
    default:
      return WriteFile(files, a.path, EncodeFileText(a.text, a.encoding), problem);
  }
  if (rc != Platform::kErrorSuccess) *problem = ActionFailed("the file operation", rc);
  return rc == Platform::kErrorSuccess;
}

}  // namespace Sim
