#pragma once
// An engine on a fresh emulated machine whose drive C is a temporary host folder,
// initialised with its own rescan and checks switched off, so that a benchmark
// times exactly the work it is about.

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "engine/load_point_engine.h"
#include "platform/emulated/machine/machine.h"
#include "util/brumevale_settings.h"
#include "util/drive_map.h"
#include "util/vyr_log.h"

inline constexpr char16_t kBenchUserSid[] = u"S-1-5-21-1004336348-1177238915-682003330-1001";

struct BenchEngine {
  // fill writes the machine's registry before the engine starts.
  explicit BenchEngine(const std::string& name,
                       const std::function<void(Platform::Registry&)>& fill = {})
      : folder(MakeFolder(name)), machine(Config(folder)), system(machine.Process(1200)),
        log(system), drives(system), settings(system), engine(system, log, drives) {
    settings.InitialiseProduct();
    if (fill) fill(system.Registry());
    Engine::EngineHandlers& handlers = engine.Handlers();
    handlers.fullLoadPointScan = [](Engine::LoadPointEngine&, int32_t) { return 1; };
    handlers.checkSystemSettings = [](Engine::LoadPointEngine&) { return 1; };
    handlers.checkFileExtensions = [](Engine::LoadPointEngine&) { return 1; };
    engine.Initialise(nullptr, &settings);
  }
  ~BenchEngine() {
    engine.Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  BenchEngine(const BenchEngine&) = delete;
  BenchEngine& operator=(const BenchEngine&) = delete;

  std::filesystem::path DatabaseFile() {
    return system.Files().HostPath(settings.DataDirectory() + u"\\Brumevale.data").value_or("");
  }

  static std::filesystem::path MakeFolder(const std::string& name) {
    // The process id keeps runs of other checkouts on the same machine apart.
    const auto path = std::filesystem::temp_directory_path() /
                      ("brumevale-" + name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
  }
  static Emulated::MachineConfig Config(const std::filesystem::path& folder) {
    Emulated::MachineConfig config;
    config.drives.push_back({u'C', folder.string(), 2});
    config.users.push_back({kBenchUserSid, u"BENCH", u"alice", u"C:\\Users\\alice", true});
    return config;
  }

  std::filesystem::path folder;
  Emulated::Machine machine;
  Platform::System& system;
  VyrUtilities::VyrLog log;
  VyrUtilities::DriveMap drives;
  VyrUtilities::BrumevaleSettings settings;
  Engine::LoadPointEngine engine;
};
