#include "sim/sim_commands.h"

#include <filesystem>
#include <ostream>

#include "platform/text_encoding.h"
#include "sim/change_report.h"
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

int RunImage(const std::string& folder, const std::optional<std::string>& scenarioPath,
             std::ostream& out, std::ostream& err) {
  Scenario scenario;
  std::string error;
  if (scenarioPath && !LoadScenarioFile(*scenarioPath, &scenario, &error)) {
    err << error << "\n";
    return 1;
  }
  auto image = BootedImage::Boot(folder, &error);
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
  out << "service started on " << Platform::Utf16ToUtf8(image->Manifest().config.computerName) << "\n";
  if (started && scenarioPath) {
    const int refused = PlayScenario(image->Machine(), scenario, FileName(*scenarioPath), session, out);
    out << "scenario played: " << scenario.actions.size() << " actions, " << refused << " refused\n";
  }
  const bool saved = StopAndSave(session, *image, started, err);
  if (saved) out << "service stopped, image saved\n";
  return started && saved ? 0 : 1;
}

int ReportImage(const std::string& folder, bool json, std::ostream& out, std::ostream& err) {
  ImageManifest manifest;
  std::string error;
  if (!ReadImageManifest(folder, &manifest, &error)) {
    err << "brumevale-sim: " << error << "\n";
    return 1;
  }
  std::vector<ChangeReportRow> rows;
  if (!ReadChangeHistory(ImageHostPath(folder, kDatabasePath), &rows, &error)) {
    err << "brumevale-sim: " << error << "\n";
    return 1;
  }
  std::map<std::string, std::string> accounts;
  for (const auto& user : manifest.config.users)
    accounts[Platform::Utf16ToUtf8(user.sid)] = Platform::Utf16ToUtf8(user.domain + u"\\" + user.name);
  out << (json ? FormatReportJsonLines(rows) : FormatReportTable(rows, accounts));
  return 0;
}

}  // namespace Sim
