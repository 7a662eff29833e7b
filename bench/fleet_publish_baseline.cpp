// The baseline of the fleet benchmark's export: the same event messages the
// exporter sends, published on one connection in a plain loop with up to 256
// acknowledgements outstanding, without message ids and without looking at the
// acknowledgements. Prints the seconds the loop took, then empties the stream so
// that the exporters measured next start from nothing, as a machine new to the fleet.
// Usage: fleet_publish_baseline URL[,URL...] DB NAME [DB NAME ...]

#include <chrono>
#include <iostream>
#include <sstream>

#include "fleet/export/event_messages.h"
#include "fleet/export/machine_identity.h"

namespace {

bool ReadAll(const std::string& database, const std::string& name, std::vector<Fleet::Outgoing>* out) {
  Fleet::EventMessages messages({name, Fleet::SubjectToken(name), Fleet::MachineIdOfName(name)});
  std::string error;
  if (!messages.Open(database, &error)) return std::cerr << error << "\n", false;
  for (int64_t after = 0;;) {
    Fleet::EventPage page;
    if (!messages.ReadPage(after, 4096, &page, &error)) return std::cerr << error << "\n", false;
    if (page.messages.empty()) return true;
    after = page.keys.back();
    out->insert(out->end(), page.messages.begin(), page.messages.end());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc % 2 != 0) {
    std::cerr << "usage: fleet_publish_baseline URL[,URL...] DB NAME [DB NAME ...]\n";
    return 2;
  }
  std::vector<Fleet::Outgoing> messages;
  for (int i = 2; i + 1 < argc; i += 2)
    if (!ReadAll(argv[i], argv[i + 1], &messages)) return 1;
  Fleet::NatsSettings settings;
  std::stringstream urls(argv[1]);
  for (std::string url; std::getline(urls, url, ',');) settings.servers.push_back(url);
  Fleet::JetStreamLink link;
  std::string error;
  if (!link.Connect(settings, &error) || !link.CheckStream(&error)) return std::cerr << error << "\n", 1;
  const auto started = std::chrono::steady_clock::now();
  if (!link.PublishPlain(messages, &error)) return std::cerr << error << "\n", 1;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  std::cout << took.count() << " " << messages.size() << std::endl;
  jsErrCode code{};
  return js_PurgeStream(link.Context(), Fleet::kStreamName, nullptr, &code) == NATS_OK ? 0 : 1;
}
