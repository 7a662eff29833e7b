// What only the emulated registry does: its initial content, user hives, kernel paths
// in the activity reports, and notifications seen from the store.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/contract/registry_contract.h"
#include "platform/emulated/minifilter/driver_record.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/minifilter/minifilter.h"
#include "platform/emulated/registry/registry_store.h"

namespace {

using namespace Platform;
using RegistryContract::Text;

constexpr std::u16string_view kAlice = u"S-1-5-21-1-2-3-1001";

Emulated::MachineConfig AliceConfig() {
  Emulated::MachineConfig config;
  config.users.push_back({std::u16string(kAlice), u"DESK", u"alice", u"C:\\Users\\alice", true});
  return config;
}

class RegistryEmulationTest : public ::testing::Test {
 protected:
  RegistryEmulationTest() : machine_(AliceConfig()) {
    Emulated::ProcessRecord explorer;
    explorer.processId = 2000;
    explorer.parentProcessId = 4;
    explorer.imagePath = u"C:\\Windows\\explorer.exe";
    explorer.ownerSid = std::u16string(kAlice);
    machine_.ProcessTable().Add(explorer);
  }
  Registry& Reg(uint32_t pid = 4, uint32_t tid = 0) { return machine_.Process(pid, tid).Registry(); }
  std::vector<uint8_t> Query(Handle root, std::u16string_view path, std::u16string_view name,
                             uint32_t* type = nullptr) {
    ScopedKey key;
    std::vector<uint8_t> data;
    if (Reg().OpenKey(root, path, kKeyRead, key.Receive(Reg())) == kErrorSuccess) {
      Reg().QueryValue(key.Get(), name, type, &data, 1 << 20, nullptr);
    }
    return data;
  }
  bool Exists(Handle root, std::u16string_view path) {
    ScopedKey key;
    return Reg().OpenKey(root, path, kKeyRead, key.Receive(Reg())) == kErrorSuccess;
  }
  void Set(Handle root, std::u16string_view path, std::u16string_view name,
           std::u16string_view text, uint32_t pid = 4, uint32_t tid = 0) {
    ScopedKey key;
    ASSERT_EQ(Reg(pid, tid).CreateKey(root, path, 0, kKeyAllAccess, key.Receive(Reg(pid, tid)),
                                      nullptr),
              kErrorSuccess);
    ASSERT_EQ(Reg(pid, tid).SetValue(key.Get(), name, kRegSz, Text(text)), kErrorSuccess);
  }
  // Every record the driver queued since it started.
  std::vector<Emulated::DriverRecord> Drain() {
    Handle port = 0;
    EXPECT_EQ(machine_.Filter().Connect(4, Emulated::Minifilter::kPortName, &port), kSOk);
    uint8_t request[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    std::vector<uint8_t> reply(Emulated::kDriverReplyCapacity);
    uint32_t returned = 0;
    machine_.Filter().Exchange(4, port, request, reply, &returned);
    const uint32_t count = request[0] | request[1] << 8 | request[2] << 16 | uint32_t{request[3]} << 24;
    machine_.Filter().Disconnect(4, port);
    reply.resize(returned);
    return Emulated::DecodeDriverRecords(reply, count).value_or(std::vector<Emulated::DriverRecord>{});
  }
  static std::u16string KeyPathOf(const Emulated::DriverRecord& record) {
    size_t offset = 0;
    return Emulated::ReadRecordString(record.data, &offset).value_or(u"?");
  }
  Emulated::Machine machine_;
};

TEST_F(RegistryEmulationTest, NewMachineHasTheKeysWindowsAlwaysHas) {
  constexpr std::u16string_view kList = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  uint32_t type = 0;
  EXPECT_EQ(Query(kHkeyLocalMachine, kList, u"ProfilesDirectory", &type), Text(u"%SystemDrive%\\Users"));
  EXPECT_EQ(type, kRegExpandSz);
  for (auto sid : {u"S-1-5-18", u"S-1-5-19", u"S-1-5-20"}) {
    EXPECT_FALSE(Query(kHkeyLocalMachine, std::u16string(kList) + u"\\" + sid, u"ProfileImagePath").empty());
  }
  EXPECT_EQ(Query(kHkeyLocalMachine, std::u16string(kList) + u"\\" + std::u16string(kAlice),
                  u"ProfileImagePath"),
            Text(u"C:\\Users\\alice"));
  EXPECT_EQ(Query(kHkeyLocalMachine, u"SYSTEM\\Select", u"Current"), (std::vector<uint8_t>{1, 0, 0, 0}));
  for (auto path : {u".DEFAULT", u"S-1-5-18", u"S-1-5-19", u"S-1-5-20", u"S-1-5-21-1-2-3-1001",
                    u"S-1-5-21-1-2-3-1001_Classes"}) {
    EXPECT_TRUE(Exists(kHkeyUsers, path));
  }
  EXPECT_TRUE(Exists(kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Services"));
}

TEST_F(RegistryEmulationTest, PredefinedRootsMapLikeWindows) {
  Set(kHkeyClassesRoot, u".brv", u"", u"brvfile");
  EXPECT_EQ(Query(kHkeyLocalMachine, u"SOFTWARE\\Classes\\.brv", u""), Text(u"brvfile"));
  Set(kHkeyLocalMachine, u"SOFTWARE\\Wow6432Node\\Classes\\CLSID\\x", u"", u"32");
  EXPECT_EQ(Query(kHkeyLocalMachine, u"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\x", u""), Text(u"32"));
  // HKCU is the acting process's owner; a process the table does not know is SYSTEM.
  Set(kHkeyCurrentUser, u"Software\\Mine", u"v", u"alice", 2000);
  Set(kHkeyCurrentUser, u"Software\\Mine", u"v", u"system", 4242);
  EXPECT_EQ(Query(kHkeyUsers, std::u16string(kAlice) + u"\\Software\\Mine", u"v"), Text(u"alice"));
  EXPECT_EQ(Query(kHkeyUsers, u"S-1-5-18\\Software\\Mine", u"v"), Text(u"system"));
  // The user's Software\Classes is the user's classes hive.
  Set(kHkeyCurrentUser, u"Software\\Classes\\.u", u"", u"u", 2000);
  EXPECT_EQ(Query(kHkeyUsers, std::u16string(kAlice) + u"_Classes\\.u", u""), Text(u"u"));
}

TEST_F(RegistryEmulationTest, UserHivesComeAndGoWithTheUser) {
  auto& store = machine_.RegistryState();
  ScopedKey held;
  ASSERT_EQ(Reg().CreateKey(kHkeyUsers, std::u16string(kAlice) + u"\\Software", 0, kKeyAllAccess,
                            held.Receive(Reg()), nullptr),
            kErrorSuccess);
  store.UnloadUserHives(kAlice);
  EXPECT_FALSE(Exists(kHkeyUsers, kAlice));
  EXPECT_FALSE(Exists(kHkeyUsers, std::u16string(kAlice) + u"_Classes"));
  EXPECT_EQ(Reg().SetValue(held.Get(), u"v", kRegSz, Text(u"x")), kErrorKeyDeleted);
  // Without its hive the user's HKCU falls back to the default profile.
  Set(kHkeyCurrentUser, u"Software\\Fallback", u"v", u"x", 2000);
  EXPECT_TRUE(Exists(kHkeyUsers, u".DEFAULT\\Software\\Fallback"));
  store.LoadUserHives(u"S-1-5-21-9");
  EXPECT_TRUE(Exists(kHkeyUsers, u"S-1-5-21-9_Classes"));
  // Hives cannot be deleted or made through the API.
  EXPECT_EQ(Reg().DeleteTree(kHkeyUsers, u"S-1-5-21-9"), kErrorAccessDenied);
  ScopedKey hive;
  EXPECT_EQ(Reg().CreateKey(kHkeyUsers, u"NewHive", 0, kKeyAllAccess, hive.Receive(Reg()), nullptr),
            kErrorAccessDenied);
}

TEST_F(RegistryEmulationTest, ChangesReachTheDriverWithKernelPathsAndTheActor) {
  machine_.Filter().Start();
  Set(kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Services\\Svc", u"ImagePath", u"a.exe", 2000, 77);
  Set(kHkeyLocalMachine, u"system\\currentcontrolset\\services\\svc", u"IMAGEPATH", u"a.exe", 2000, 77);
  Set(kHkeyCurrentUser, u"Software\\Run", u"x", u"y", 2000, 77);
  ScopedKey run;
  ASSERT_EQ(Reg(2000, 77).OpenKey(kHkeyCurrentUser, u"Software\\Run", kKeyAllAccess, run.Receive(Reg(2000, 77))),
            kErrorSuccess);
  ASSERT_EQ(Reg(2000, 77).DeleteValue(run.Get(), u"X"), kErrorSuccess);
  Set(kHkeyLocalMachine, u"SOFTWARE\\T\\a\\b", u"v", u"1");
  ASSERT_EQ(Reg().DeleteTree(kHkeyLocalMachine, u"SOFTWARE\\T"), kErrorSuccess);

  const auto records = Drain();
  ASSERT_EQ(records.size(), 8u);
  const std::u16string service = u"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001\\Services\\Svc";
  for (int i : {0, 1}) {
    EXPECT_EQ(records[i].operation, Emulated::DriverOperation::kRegistryValueSet);
    EXPECT_EQ(KeyPathOf(records[i]), service);
    EXPECT_EQ(records[i].id2, 2000u);
    EXPECT_EQ(records[i].id3, 77u);
  }
  const std::u16string userRun = u"\\REGISTRY\\USER\\" + std::u16string(kAlice) + u"\\Software\\Run";
  EXPECT_EQ(KeyPathOf(records[2]), userRun);
  EXPECT_EQ(records[3].operation, Emulated::DriverOperation::kRegistryValueDeleted);
  EXPECT_EQ(records[3].data, Emulated::RegistryRecordData(userRun, u"x"));
  EXPECT_EQ(records[2].id2, 2000u);
  const std::u16string tree = u"\\REGISTRY\\MACHINE\\SOFTWARE\\T";
  EXPECT_EQ(KeyPathOf(records[5]), tree + u"\\a\\b");
  EXPECT_EQ(KeyPathOf(records[6]), tree + u"\\a");
  EXPECT_EQ(KeyPathOf(records[7]), tree);
  EXPECT_EQ(records[7].operation, Emulated::DriverOperation::kRegistryKeyDeleted);
  // The second set keeps the first spelling of the value name.
  EXPECT_EQ(records[1].data, Emulated::RegistryRecordData(service, u"ImagePath", Text(u"a.exe")));
}

TEST_F(RegistryEmulationTest, StoreNotificationsHonourFilterSubtreeAndClose) {
  std::vector<Handle> signalled;
  std::mutex mutex;
  machine_.RegistryState().SetNotificationSignal([&](Handle event) {
    std::lock_guard lock(mutex);
    signalled.push_back(event);
  });
  ScopedKey watched;
  ASSERT_EQ(Reg().CreateKey(kHkeyLocalMachine, u"SOFTWARE\\W", 0, kKeyAllAccess, watched.Receive(Reg()),
                            nullptr),
            kErrorSuccess);
  ASSERT_EQ(Reg().NotifyChangeKeyValue(watched.Get(), true, kRegNotifyChangeLastSet, 11), kErrorSuccess);
  ASSERT_EQ(Reg().NotifyChangeKeyValue(watched.Get(), false, kRegNotifyChangeName, 22), kErrorSuccess);
  ASSERT_EQ(Reg().NotifyChangeKeyValue(watched.Get(), false, kRegNotifyChangeLastSet, 33), kErrorSuccess);
  Set(kHkeyLocalMachine, u"SOFTWARE\\W\\deep\\er", u"v", u"x");  // adds "deep" to W, sets below
  EXPECT_EQ(signalled, (std::vector<Handle>{22, 11}));
  watched.Reset();
  EXPECT_EQ(signalled, (std::vector<Handle>{22, 11, 33}));

  // A watch on a key that is deleted completes.
  ASSERT_EQ(Reg().OpenKey(kHkeyLocalMachine, u"SOFTWARE\\W\\deep\\er", kKeyRead, watched.Receive(Reg())),
            kErrorSuccess);
  ASSERT_EQ(Reg().NotifyChangeKeyValue(watched.Get(), false, kRegNotifyChangeLastSet, 44), kErrorSuccess);
  ASSERT_EQ(Reg().DeleteTree(kHkeyLocalMachine, u"SOFTWARE\\W"), kErrorSuccess);
  EXPECT_EQ(signalled.back(), 44u);
}

TEST_F(RegistryEmulationTest, ManyThreadsShareOneRegistry) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 50; ++i) {
        const std::u16string name = u"k" + std::u16string(1, static_cast<char16_t>(u'0' + t));
        Set(kHkeyLocalMachine, u"SOFTWARE\\Busy\\" + name, u"v", name);
        std::u16string found;
        ScopedKey busy;
        if (Reg().OpenKey(kHkeyLocalMachine, u"SOFTWARE\\Busy", kKeyRead, busy.Receive(Reg())) == kErrorSuccess) {
          Reg().EnumKey(busy.Get(), 0, 256, &found);
        }
        Reg().DeleteTree(kHkeyLocalMachine, u"SOFTWARE\\Busy\\" + name);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ScopedKey busy;
  ASSERT_EQ(Reg().OpenKey(kHkeyLocalMachine, u"SOFTWARE\\Busy", kKeyRead, busy.Receive(Reg())), kErrorSuccess);
  uint32_t subKeys = 9;
  ASSERT_EQ(Reg().QueryInfoKey(busy.Get(), &subKeys, nullptr, nullptr, nullptr, nullptr), kErrorSuccess);
  EXPECT_EQ(subKeys, 0u);
}

}  // namespace
