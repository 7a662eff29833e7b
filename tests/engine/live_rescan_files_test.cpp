// The load points that are files: startup folders and scheduled tasks, the latter
// named by the task cache in the registry and described by their files. Files change
// as the minifilter reports them, after the handle is closed. Random changes, then a
// rescan that may change nothing.
//
// Left out on purpose, because the live path then leaves the correction to the
// rescan: files in subfolders of a startup folder (live, a file counts for the folder
// it lies below; the rescan lists the folder's own files), profiles made after the
// service started (their folders are watched from the next start), and task files
// deleted or renamed away (a task row is named by the cache's identifier, which the
// file's name does not tell).
//
// Left out as a known disagreement: an enabled task whose action has an empty
// command. Its file's event counts it as no task (and removes its row), while the
// rescan and the cache's event store it with an empty command line; the next rescan
// adds the row again. Both rules are the documented behaviour, and making them agree
// would change the rows recorded for such tasks.

#include "engine/file_event_matcher.h"
#include "engine/live_agreement.h"
#include "util/path_routines.h"

namespace LiveTest {
namespace {

const std::u16string kCache = u"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\";
const std::u16string kCache32 =
    u"HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\";
// Three tasks in the cache at start, two of them native.
constexpr char kBoot[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\{G1}]\r\n"
    "\"Path\"=\"\\\\Upd\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\{G2}]\r\n"
    "\"Path\"=\"\\\\Vendor\\\\Sync\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks\\{G3}]\r\n"
    "\"Path\"=\"\\\\Upd\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{1}]\r\n@=\"One\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{1}\\InprocServer32]\r\n@=\"one.dll\"\r\n";

class Scenario : public RandomChanges {
 public:
  Scenario(LiveMachine& live, uint32_t seed)
      : RandomChanges(live, seed),
        startup_{VyrUtilities::GetSpecialFolder(live.System(), Platform::kCsidlCommonStartup),
                 u"C:\\Users\\alice" + kUserStartup, u"C:\\Users\\bob" + kUserStartup},
        tasks_{VyrUtilities::GetSpecialFolder(live.System(), Platform::kCsidlSystem) + u"\\Tasks",
               VyrUtilities::GetSpecialFolder(live.System(), Platform::kCsidlSystemX86) + u"\\Tasks"} {
    // The users' profiles were there when the service started, which is when it
    // learns which startup folders to watch.
    for (const std::u16string& folder : startup_) {
      for (size_t slash = folder.find(u'\\', 3); slash != std::u16string::npos; slash = folder.find(u'\\', slash + 1)) {
        live.System().Files().CreateDirectory(folder.substr(0, slash));
      }
      live.System().Files().CreateDirectory(folder);
    }
    live.Engine().FileMatcher().Initialise();
    live.System().Files().CreateDirectory(u"C:\\Temp");
    // Every task file there, and the record as the start's rescan left it.
    for (const std::u16string& folder : tasks_) {
      for (const char16_t* path : kTaskPaths) live.WriteFile(folder + path, Task("true", kActions[0]));
    }
    live.Engine().Rescan(1);
  }

  void Step() {
    switch (Pick(5)) {
      case 0:
      case 1: StartupFiles(); break;
      case 2: TaskCache(); break;
      default: TaskFiles();
    }
  }

 private:
  static inline const std::u16string kUserStartup =
      u"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
  static constexpr const char16_t* kTaskPaths[] = {u"\\Upd", u"\\Vendor\\Sync"};

  bool Exists(const std::u16string& path) {
    Platform::FileAttributeData data;
    return live_.System().Files().GetFileAttributesEx(path, &data) == Platform::kErrorSuccess;
  }

  // Written, deleted, or renamed within a folder, to another folder or out of all.
  void StartupFiles() {
    static constexpr const char16_t* kNames[] = {u"\\a.lnk", u"\\b.exe", u"\\c.bat"};
    const std::u16string path = Of(startup_) + Of(kNames);
    if (!Exists(path) || Chance(40)) {
      live_.SaveFile(path, Of({"x", "yy"}));
    } else if (Chance(50)) {
      live_.RemoveFile(path);
    } else {
      const std::u16string to = Chance(20) ? u"C:\\Temp" + std::u16string(Of(kNames)) : Of(startup_) + Of(kNames);
      if (to != path) live_.MoveFile(path, to);
    }
  }

  // A cache entry's "Path" names its task file below the tasks folder of its view.
  void TaskCache() {
    const std::u16string key = (Chance(70) ? kCache : kCache32) + Of({u"{G1}", u"{G2}", u"{G3}"});
    SetOrRemove(75, key, u"Path", Of(kTaskPaths), true);
  }

  // What the scheduler runs: a program or a class, unless the task is disabled.
  static constexpr const char* kActions[] = {
      "<Exec><Command>C:\\a.exe</Command></Exec>",
      "<Exec><Command>c:\\A.EXE</Command><Arguments>-x</Arguments></Exec>",
      "<ComHandler><ClassId>{1}</ClassId></ComHandler>"};
  static std::string Task(const char* enabled, const char* action) {
    return std::string("<?xml version=\"1.0\"?><Task><Settings><Enabled>") + enabled +
           "</Enabled></Settings><Actions>" + action + "</Actions></Task>";
  }
  void TaskFiles() {
    static constexpr const char* kEnabled[] = {"true", "TRUE", "true", "false", ""};
    live_.SaveFile(Of(tasks_) + Of(kTaskPaths), Task(Of(kEnabled), Of(kActions)));
  }

  const std::u16string startup_[3];
  const std::u16string tasks_[2];
};

TEST(LiveRescanAgreement, RandomStartupAndTaskFileChangesLeaveNothingForTheRescan) {
  ExpectLiveAgreesWithRescan<Scenario>(kBoot);
}

}  // namespace
}  // namespace LiveTest
