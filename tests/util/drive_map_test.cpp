// Drives that come and go after the map was built. The emulated machine's drives are
// fixed at boot, so these tests put a small device table behind QueryDosDevice.

#include "util/drive_map.h"

#include <gtest/gtest.h>

#include <map>

#include "util_machine.h"

namespace VyrUtilities {
namespace {

// Answers QueryDosDevice from a table; every other file call is refused.
class DeviceTable : public Platform::FileSystem {
 public:
  std::map<std::u16string, std::u16string> devices;
  int queries = 0;

  Platform::Win32Error QueryDosDevice(std::u16string_view name, uint32_t capacity,
                                      std::u16string* target) override {
    ++queries;
    auto found = devices.find(std::u16string(name));
    if (found == devices.end()) return Platform::kErrorFileNotFound;
    if (found->second.size() + 1 > capacity) return Platform::kErrorInsufficientBuffer;
    *target = found->second;
    return Platform::kErrorSuccess;
  }

  using E = Platform::Win32Error;
  using H = Platform::Handle;
  using V = std::u16string_view;
  E CreateFile(V, uint32_t, uint32_t, uint32_t, uint32_t, H*) override { return No(); }
  E ReadFile(H, std::span<uint8_t>, uint32_t*) override { return No(); }
  E WriteFile(H, std::span<const uint8_t>, uint32_t*) override { return No(); }
  E SetFilePointer(H, int64_t, uint32_t, uint64_t*) override { return No(); }
  E GetFileSize(H, uint64_t*) override { return No(); }
  E FlushFileBuffers(H) override { return No(); }
  E SetDeleteOnClose(H, bool) override { return No(); }
  E CloseFile(H) override { return No(); }
  E GetFileAttributesEx(V, Platform::FileAttributeData*) override { return No(); }
  E SetFileAttributes(V, uint32_t) override { return No(); }
  E SetFileTime(V, Platform::FileTime, Platform::FileTime, Platform::FileTime) override {
    return No();
  }
  E FindFirstFile(V, H*, Platform::FindData*) override { return No(); }
  E FindNextFile(H, Platform::FindData*) override { return No(); }
  E FindClose(H) override { return No(); }
  E CreateDirectory(V) override { return No(); }
  E RemoveDirectory(V) override { return No(); }
  E DeleteFile(V) override { return No(); }
  E MoveFileEx(V, V, uint32_t) override { return No(); }
  E GetFileSecurity(V, Platform::FileSecurity*) override { return No(); }
  E SetFileSecurity(V, const Platform::FileSecurity&) override { return No(); }
  E GetLongPathName(V, uint32_t, std::u16string*, uint32_t*) override { return No(); }
  E GetFullPathName(V, uint32_t, std::u16string*, size_t*, uint32_t*) override { return No(); }
  std::optional<std::string> HostPath(V) override { return std::nullopt; }

 private:
  static E No() { return Platform::kErrorNotSupported; }
};

// A machine's process whose file system is the device table.
class TableSystem : public Platform::System {
 public:
  TableSystem(Platform::System& base, DeviceTable& table) : base_(base), table_(table) {}
  Platform::Registry& Registry() override { return base_.Registry(); }
  Platform::FileSystem& Files() override { return table_; }
  Platform::Environment& Environment() override { return base_.Environment(); }
  Platform::NamedObjects& Objects() override { return base_.Objects(); }
  Platform::Processes& Processes() override { return base_.Processes(); }
  Platform::ServiceManager& Services() override { return base_.Services(); }
  Platform::FilterPort& FilterPort() override { return base_.FilterPort(); }
  Platform::Trust& Trust() override { return base_.Trust(); }
  Platform::VersionInfo& VersionInfo() override { return base_.VersionInfo(); }

 private:
  Platform::System& base_;
  DeviceTable& table_;
};

class DriveMapTest : public UtilTest::MachineTest {
 protected:
  DeviceTable table_;
  TableSystem system_{System(), table_};
  DriveMap map_{system_};
};

TEST_F(DriveMapTest, DeviceMountedAfterStartIsFoundAfterOneRebuild) {
  table_.devices[u"C:"] = u"\\Device\\HarddiskVolume2";
  ASSERT_TRUE(map_.Initialise());
  table_.devices[u"E:"] = u"\\Device\\HarddiskVolume5";
  EXPECT_EQ(map_.DevicePathToDosPath(u"\\Device\\HarddiskVolume5\\setup.exe"), u"E:\\setup.exe");
  int before = table_.queries;
  EXPECT_EQ(map_.DriveLetterOfDevice(u"\\Device\\HarddiskVolume5"), u"E");
  EXPECT_EQ(table_.queries, before + 1);  // found in the map, checked once, no rebuild
}

TEST_F(DriveMapTest, LetterMovedToAnotherVolumeIsNotTrusted) {
  table_.devices[u"D:"] = u"\\Device\\HarddiskVolume3";
  ASSERT_TRUE(map_.Initialise());
  table_.devices[u"D:"] = u"\\Device\\CdRom0";
  EXPECT_EQ(map_.DriveLetterOfDevice(u"\\Device\\HarddiskVolume3"), u"");
  EXPECT_EQ(map_.DriveLetterOfDevice(u"\\Device\\CdRom0"), u"D");
  table_.devices.clear();
  EXPECT_EQ(map_.DriveLetterOfDevice(u"\\Device\\CdRom0"), u"");
}

TEST_F(DriveMapTest, BatchChecksTheLetterOnceAndTheNextBatchChecksAgain) {
  table_.devices[u"C:"] = u"\\Device\\HarddiskVolume2";
  ASSERT_TRUE(map_.Initialise());
  {
    DriveMap::Batch batch(map_);
    EXPECT_EQ(map_.DevicePathToDosPath(u"\\Device\\HarddiskVolume2\\a.exe"), u"C:\\a.exe");
    const int checked = table_.queries;
    EXPECT_EQ(map_.DevicePathToDosPath(u"\\Device\\HarddiskVolume2\\b.exe"), u"C:\\b.exe");
    EXPECT_EQ(table_.queries, checked);
  }
  const int afterBatch = table_.queries;
  EXPECT_EQ(map_.DriveLetterOfDevice(u"\\Device\\HarddiskVolume2"), u"C");
  EXPECT_EQ(table_.queries, afterBatch + 1);  // outside a batch every lookup checks

  table_.devices[u"C:"] = u"\\Device\\HarddiskVolume7";
  DriveMap::Batch next(map_);
  EXPECT_EQ(map_.DevicePathToDosPath(u"\\Device\\HarddiskVolume2\\a.exe"), u"");
  EXPECT_EQ(map_.DevicePathToDosPath(u"\\Device\\HarddiskVolume7\\a.exe"), u"C:\\a.exe");
}

}  // namespace
}  // namespace VyrUtilities
