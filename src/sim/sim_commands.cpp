#include "sim/sim_commands.h"

#include <filesystem>
#include <ostream>

#include "platform/text_encoding.h"
#include "reader/inventory/file_check.h"
#include "reader/commands/reader_commands.h"
#include "sim/service_session.h"

namespace Sim {
namespace {

std::string FileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

// The service is stopped and the image saved whatever happened after the boot, so
// that the disk keeps what the service and the scenario did.
bool StopAndSave(ServiceSession& session, BootedImage& image, bool running, std::ostream& err) {
  std::string error;
  bool ok = true;
  session.Settle();
  if (running && !session.Stop(&error)) {
    err << "brumevale-sim: " << error << "\n";
    ok = false;
  }
  if (!image.Save(&error)) {
    err << "brumevale-sim: " << error << "\n";
    ok = false;
  }
  return ok;
}

}  // namespace

int RunImage(const std::string& folder, const std::optional<std::string>& scenarioPath, bool driverless,
             std::ostream& out, std::ostream& err) {
  Scenario scenario;
  std::string error;
  if (scenarioPath && !LoadScenarioFile(*scenarioPath, &scenario, &error)) {
    err << error << "\n";
    return 1;
  }
  auto image = BootedImage::Boot(folder, &error, driverless);
  if (!image) {
    err << "brumevale-sim: " << error << "\n";
    return 1;
  }
  // Only a booted machine knows which files its drives hold; nothing has run yet.
  if (scenarioPath && !CheckCopySources(image->Machine(), scenario, FileName(*scenarioPath), &error)) {
    err << error << "\n";
    return 1;
  }
  ServiceSession session(*image);
  if (!session.Install(&error)) {
    err << "brumevale-sim: " << error << "\n";
    image->Save(&error);
    return 1;
  }
  const bool started = session.Start(&error);
  if (!started) err << "brumevale-sim: " << error << "\n";
  // Flushed at once: a watcher (the crash test) reads from these two lines when the
  // scenario's changes begin and end, also when the output goes to a file.
  out << "service started on " << Platform::Utf16ToUtf8(image->Manifest().config.computerName) << std::endl;
  if (started && scenarioPath) {
    const int refused = PlayScenario(*image, scenario, FileName(*scenarioPath), session, out);
    out << "scenario played: " << scenario.actions.size() << " actions, " << refused << " refused" << std::endl;
  }
  const bool saved = StopAndSave(session, *image, started, err);
  if (saved) out << "service stopped, image saved\n";
  return started && saved ? 0 : 1;
}

namespace {

// The image's accounts, SID to DOMAIN\name, for the listings.
bool ImageHost(const std::string& folder, Reader::ReaderHost* host, std::ostream& err) {
  ImageManifest manifest;
  std::string error;
  if (!ReadImageManifest(folder, &manifest, &error)) {
    err << "brumevale-sim: " << error << "\n";
    return false;
  }
  host->programName = "brumevale-sim";
  for (const auto& user : manifest.config.users)
    host->accounts[Platform::Utf16ToUtf8(user.sid)] = Platform::Utf16ToUtf8(user.domain + u"\\" + user.name);
  return true;
}

}  // namespace

int ReportImage(const std::string& folder, bool json, std::ostream& out, std::ostream& err) {
  Reader::ReaderHost host;
  if (!ImageHost(folder, &host, err)) return 1;
  const std::vector<std::string> args = {"history", ImageHostPath(folder, kDatabasePath), "--format",
                                         json ? "json" : "text"};
  return Reader::RunReader(args, host, out, err) == Reader::kExitOk ? 0 : 1;
}

int InventoryImage(const std::string& folder, const std::vector<std::string>& options, std::ostream& out,
                   std::ostream& err) {
  Reader::ReaderHost host;
  if (!ImageHost(folder, &host, err)) return Reader::kExitBadInput;
  // The machine is booted only to reach its files and trust stores; it is never
  // saved, so the image stays as it was.
  std::string error;
  auto image = BootedImage::Boot(folder, &error);
  if (!image) {
    err << "brumevale-sim: " << error << "\n";
    return Reader::kExitBadInput;
  }
  Reader::FileChecker checker(image->Machine().Process(Emulated::ProcessList::kSystemProcessId));
  host.checkFile = [&checker](const std::string& commandLine) { return checker.Check(commandLine); };
  std::vector<std::string> args = {"inventory", ImageHostPath(folder, kDatabasePath)};
  args.insert(args.end(), options.begin(), options.end());
  return Reader::RunReader(args, host, out, err);
}

}  // namespace Sim
