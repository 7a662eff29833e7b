#pragma once
// Translation between NT device paths (\Device\HarddiskVolume2\Windows) and drive
// letter paths (C:\Windows). The service owns one DriveMap per process; every
// lookup holds the map's mutex, and a lookup that misses rebuilds the map once, so a
// volume mounted after start is still found.

#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace VyrUtilities {

class DriveMap {
 public:
  explicit DriveMap(Platform::System& system);
  DriveMap(const DriveMap&) = delete;
  DriveMap& operator=(const DriveMap&) = delete;

  // Builds the map the first time; later calls return false and change nothing.
  bool Initialise();
  // Asks every drive letter A to Z for its device. Always true.
  bool Build();

  // The letter (no colon) of the device, or empty.
  std::u16string DriveLetterOfDevice(std::u16string_view device);
  // \Device\HarddiskVolume2\x -> C:\x; empty when the device has no letter.
  std::u16string DevicePathToDosPath(std::u16string_view path);
  // C:\x or \??\C:\x -> \Device\HarddiskVolume2\x; empty when the drive is unknown.
  std::u16string DosPathToDevicePath(std::u16string_view path);
  // The device of the drive's first letter, or empty.
  std::u16string QueryDriveDevice(std::u16string_view drive);

  // Between BeginBatch and EndBatch (one driver reply: records written at one
  // moment and decoded within microseconds), the letter of the device looked up
  // last is checked against its device once instead of at every lookup. Outside a
  // batch every lookup checks. Batches nest.
  void BeginBatch();
  void EndBatch();

  // Holds a batch for its lifetime.
  class Batch {
   public:
    explicit Batch(DriveMap& map) : map_(map) { map_.BeginBatch(); }
    ~Batch() { map_.EndBatch(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    DriveMap& map_;
  };

 private:
  void BuildLocked();
  // The letter of the device, 0 when it has none; the mutex is held.
  char16_t LetterOfDeviceLocked(std::u16string_view device);
  // Whether the letter's device is still this one (ignoring ASCII case).
  bool LetterStillNames(char16_t letter, std::u16string_view device);

  Platform::System& system_;
  std::mutex mutex_;
  bool initialised_ = false;
  // Device names compared ignoring ASCII case, as the device queries answer them.
  std::map<std::u16string, char16_t> devices_;
  // The device of the last successful lookup, as it was asked, and its letter;
  // empty after every rebuild.
  std::u16string lastDevice_;
  char16_t lastLetter_ = 0;
  // Whether lastLetter_ was checked against lastDevice_ in the current batch.
  bool lastChecked_ = false;
  int batchDepth_ = 0;
  // Reused answer buffer of the device queries.
  std::u16string queried_;
};

}  // namespace VyrUtilities
