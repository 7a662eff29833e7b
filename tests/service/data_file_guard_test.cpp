// The data folder before the database opens: folders left open to other accounts
// are closed again, and a database or journal that another account put there is
// moved aside, or, when it cannot be moved, keeps the database closed.

#include "service/data_file_guard.h"

#include <thread>

#include "platform/emulated/processes/process_control.h"
#include "platform/text_encoding.h"
#include "service/logger_fixture.h"
#include "util/brumevale_settings.h"
#include "util/protected_folder.h"

namespace Service {

namespace {

using namespace Platform;
using namespace std::chrono_literals;

constexpr char16_t kUserSid[] = u"S-1-5-21-1-2-3-1001";
constexpr char16_t kDataFolder[] = u"C:\\ProgramData\\Kelvra Security\\Brumevale";
constexpr char16_t kDatabase[] = u"C:\\ProgramData\\Kelvra Security\\Brumevale\\Brumevale.data";

class DataFileGuardTest : public ServiceTest::LoggerTest {
 protected:
  // A process of an ordinary logged-on user.
  Platform::System& User() {
    if (user_ == 0) user_ = Emulated::StartProcess(machine_, {{4, 0}, u"C:\\Windows\\explorer.exe", kUserSid});
    return machine_.Process(user_);
  }
  // The service's account, as the manager starts it.
  Platform::System& Service() {
    if (service_ == 0) service_ = Emulated::StartProcess(machine_, {{4, 0}, ServiceTest::kProgramImage, kLocalSystemSid});
    return machine_.Process(service_);
  }
  void UserMakesDataFolder() {
    for (const char16_t* folder : {u"C:\\ProgramData", u"C:\\ProgramData\\Kelvra Security", kDataFolder})
      User().Files().CreateDirectory(folder);
  }
  void WriteAs(Platform::System& system, std::u16string_view path, std::string_view bytes, ScopedFile* keepOpen = nullptr) {
    FileSystem& files = system.Files();
    ScopedFile own;
    ScopedFile& file = keepOpen != nullptr ? *keepOpen : own;
    ASSERT_EQ(files.CreateFile(path, kGenericWrite, kFileShareRead, kCreateAlways, 0, file.Receive(files)),
              kErrorSuccess);
    uint32_t written = 0;
    files.WriteFile(file.Get(), {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, &written);
  }
  std::vector<std::u16string> Listed(std::u16string_view pattern) {
    std::vector<std::u16string> names;
    ScopedFind find;
    FindData data;
    FileSystem& files = Service().Files();
    if (files.FindFirstFile(std::u16string(kDataFolder) + u"\\" + std::u16string(pattern), find.Receive(files),
                            &data) != kErrorSuccess)
      return names;
    do names.push_back(data.fileName);
    while (files.FindNextFile(find.Get(), &data) == kErrorSuccess);
    return names;
  }
  static size_t Count(const std::u16string& text, std::u16string_view part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::u16string::npos; at = text.find(part, at + 1)) ++count;
    return count;
  }

  uint32_t user_ = 0;
  uint32_t service_ = 0;
};

TEST_F(DataFileGuardTest, AUsersFolderDatabaseAndJournalAreTakenOverOrMovedAsideAndLogged) {
  UserMakesDataFolder();
  WriteAs(User(), kDatabase, "prepared by someone else");
  WriteAs(User(), std::u16string(kDatabase) + u"-journal", "a hot journal to roll in");
  VyrUtilities::BrumevaleSettings settings(Service());
  settings.InitialiseProduct();
  VyrUtilities::VyrLog log(Service());
  ASSERT_TRUE(log.Open(settings.LogDirectory() + u"\\Guard_Log.txt", 1));

  EXPECT_TRUE(GuardDataFiles(Service(), settings, log));
  FileSecurity security;
  ASSERT_EQ(Service().Files().GetFileSecurity(kDataFolder, &security), kErrorSuccess);
  EXPECT_TRUE(VyrUtilities::IsProtectedFolderSecurity(security));
  EXPECT_TRUE(Listed(u"Brumevale.data").empty());
  EXPECT_TRUE(Listed(u"Brumevale.data-journal").empty());
  EXPECT_EQ(Listed(u"*.foreign-*").size(), 2u) << "kept beside, out of the database's way";
  const std::u16string text = ReadLog("Guard_Log.txt");
  EXPECT_EQ(Count(text, u"[WARNING] Folder open to other accounts, access reset to SYSTEM and Administrators: " +
                            std::u16string(kDataFolder) + u"\r\n"),
            1u)
      << "the log folder below was made closed and needs no reset";
  EXPECT_EQ(Count(text, u"[WARNING] File owned by S-1-5-21-1-2-3-1001 moved aside: "), 2u);

  // What the service's own account wrote stays where it is, and nothing more is logged.
  WriteAs(Service(), kDatabase, "the service's own");
  log.Close();
  ASSERT_TRUE(log.Open(settings.LogDirectory() + u"\\Guard_Log.txt", 1));
  EXPECT_TRUE(GuardDataFiles(Service(), settings, log));
  EXPECT_EQ(Listed(u"Brumevale.data").size(), 1u);
  EXPECT_EQ(ReadLog("Guard_Log.txt"), u"");
}

// A foreign database held open without delete sharing cannot be moved: the service
// runs, logs why, and never opens it.
TEST_F(DataFileGuardTest, AForeignDatabaseThatCannotBeMovedKeepsTheDatabaseClosed) {
  ASSERT_EQ(RunFromConsole({u"-i"}), 0);
  ScopedFile held;
  WriteAs(User(), kDatabase, "held open by someone else", &held);
  ServiceManager& scm = Console().Services();
  ScopedService manager, service;
  ASSERT_EQ(scm.OpenSCManager(kScManagerAllAccess, manager.Receive(scm)), kErrorSuccess);
  ASSERT_EQ(scm.OpenService(manager.Get(), u"Brumevale", kServiceAllAccess, service.Receive(scm)), kErrorSuccess);
  ASSERT_EQ(scm.StartService(service.Get(), {}), kErrorSuccess);
  const std::u16string closed = u"StartLogger: database not opened.\r\n";
  for (int i = 0; i < 1000 && ReadLog("BrumevaleLogger_Log.txt").find(closed) == std::u16string::npos; ++i)
    std::this_thread::sleep_for(10ms);
  const std::u16string text = ReadLog("BrumevaleLogger_Log.txt");
  EXPECT_NE(text.find(u"[ERROR] File owned by S-1-5-21-1-2-3-1001 could not be moved aside (error 32), "
                      u"the database stays closed: " +
                      std::u16string(kDatabase)),
            std::u16string::npos)
      << Utf16ToUtf8(text);
  EXPECT_NE(text.find(closed), std::u16string::npos);
  ServiceStatus status;
  ASSERT_EQ(scm.ControlService(service.Get(), kServiceControlStop, &status), kErrorSuccess);
  EXPECT_TRUE(Store().WaitForState(u"Brumevale", kServiceStopped, 30s));
  held.Reset();
  std::ifstream file(*Service().Files().HostPath(kDatabase), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "held open by someone else");
}

}  // namespace

}  // namespace Service
