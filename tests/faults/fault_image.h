#pragma once
// A small machine image on a fresh host folder for fault runs: one logged-on user
// (ann, explorer.exe as process 2000), the hives the service needs, and helpers
// that run scenarios on it through the simulator's own pieces and read the
// database back from outside.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "sim/scenario.h"
#include "sim/service_session.h"
#include "support/temporary_folder.h"

struct StoredLoadPoint {
  int32_t type = 0;
  std::u16string user, entry, commandLine;
};

class FaultImage {
 public:
  static constexpr uint32_t kExplorer = 2000;
  static constexpr char kUserSid[] = "S-1-5-21-7-7-7-1001";
  static constexpr char kRunKey[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  static constexpr char16_t kStartupFolder[] =
      u"C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";

  // extraRunValues: that many more values "Extra<n>" in the machine's Run key.
  explicit FaultImage(int extraRunValues = 0);

  std::string Folder() const { return folder_.String(); }
  std::string DatabaseHostPath() const;
  // Parses scenario text; a bad line fails the test.
  static Sim::Scenario Parse(const std::string& text);
  // Boots, starts the service, plays, lets it settle, stops and saves, as
  // "brumevale-sim run" does. before (if given) runs on the booted session after
  // the service started and before the scenario, after once the service settled.
  // Returns the player's output.
  using Hook = std::function<void(Sim::BootedImage&, Sim::ServiceSession&)>;
  std::string Run(const Sim::Scenario& scenario, const Hook& before = {}, const Hook& after = {});
  // Every LoadPoints row, text decoded the way the service wrote it.
  std::vector<StoredLoadPoint> LoadPoints() const;
  // One row by type and name; false when there is none.
  bool Find(int32_t type, std::u16string_view entry, StoredLoadPoint* found) const;
  // The database log (UTF-16LE on the machine) as UTF-8.
  std::string DatabaseLog() const;
  // Any log of the service's log folder, by file name, the same way.
  std::string Log(std::u16string_view name) const;
  // "brumevale-sim report", as listing and as JSON lines.
  std::string Report(bool json) const;

 private:
  TemporaryFolder folder_;
};

// True while some other connection keeps writers out of the database file.
bool FileIsLocked(const std::string& path);

// Counts the times text occurs in haystack.
size_t Occurrences(const std::string& haystack, const std::string& text);

// Runs sql on a database file through a connection of its own; every cell as text.
std::vector<std::vector<std::string>> QueryFile(const std::string& path, const std::string& sql);
