// What the running service costs when nothing happens. The service runs on a copy
// of the demo machine image, started the way an administrator starts it; from the
// moment its first rescan is recorded, the machine is left alone for a stretch of
// wall time and the process's CPU time and resident memory are read. The same is
// done with the image grown to many load points, where the clock is also moved on
// to run one rescan after another, with the resident memory after each.
//
// The service runs inside this process, beside the emulated machine, so memory is
// reported next to its baseline: the process with the image booted and the
// service not yet started.
//
//   idle_cost_bench [--seconds=60] [--load-points=50000] [--rescans=10] [--image=DIR]

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "bench_image.h"
#include "platform/emulated/processes/process_list.h"
#include "sim/machine_image.h"
#include "sim/service_session.h"

namespace {

struct Options {
  int seconds = 60;
  int loadPoints = 50000;
  int rescans = 10;
  std::string image = std::string(BRUMEVALE_SOURCE_DIR) + "/examples/demo-machine";
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&arg](const char* name) { return OptionValue(arg, name); };
    if (const char* v = value("--seconds=")) options.seconds = std::atoi(v);
    if (const char* v = value("--load-points=")) options.loadPoints = std::atoi(v);
    if (const char* v = value("--rescans=")) options.rescans = std::atoi(v);
    if (const char* v = value("--image=")) options.image = v;
  }
  return options;
}

void IdleFor(int seconds, const char* label) {
  const double cpuBefore = CpuSeconds();
  const auto wallBefore = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  const double cpu = CpuSeconds() - cpuBefore;
  std::printf("%s: idle %.1f s wall, CPU %.3f s = %.3f%% of one core (target < 0.5%%)\n", label,
              wall, cpu, 100.0 * cpu / wall);
}

int Run(const Options& options, int loadPoints) {
  const std::string label = loadPoints == 0 ? "demo image" : std::to_string(loadPoints) + " load points";
  const std::string folder = CopyImage(options.image, loadPoints == 0 ? "idle-demo" : "idle-large");
  std::string error;
  auto image = Sim::BootedImage::Boot(folder, &error);
  if (!image) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (loadPoints > 0) AddLoadPoints(image->Machine().Process(Emulated::ProcessList::kSystemProcessId).Registry(), loadPoints);
  const double rssBooted = CurrentRssMb();
  Sim::ServiceSession session(*image);
  const auto startBegin = std::chrono::steady_clock::now();
  if (!session.Install(&error) || !session.Start(&error)) {
    std::fprintf(stderr, "%s: %s\n", label.c_str(), error.c_str());
    return 1;
  }
  const double startSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - startBegin).count();
  std::printf("%s: start and first rescan %.2f s; resident %.1f MB before the service started, "
              "%.1f MB after its first rescan\n", label.c_str(), startSeconds, rssBooted, CurrentRssMb());
  IdleFor(options.seconds, label.c_str());
  std::printf("%s: peak resident %.1f MB, of which the booted image before the service %.1f MB: "
              "service share at most %.1f MB (target < 20 MB)\n", label.c_str(), PeakRssMb(), rssBooted,
              PeakRssMb() - rssBooted);
  if (loadPoints > 0) {
    for (int i = 1; i <= options.rescans; ++i) {
      const auto begin = std::chrono::steady_clock::now();
      session.AdvanceClock(301);
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
      std::printf("%s: rescan %d took %.2f s, resident %.1f MB\n", label.c_str(), i, seconds, CurrentRssMb());
    }
  }
  session.Stop(&error);
  image.reset();
  std::filesystem::remove_all(folder);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  if (Run(options, 0) != 0) return 1;
  if (options.loadPoints > 0 && Run(options, options.loadPoints) != 0) return 1;
  return 0;
}
