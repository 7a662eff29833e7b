// Any text given as a scenario: the parser must accept it or name the bad line,
// never crash or hang, and every file text it accepts must encode.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Sim::Scenario scenario;
  std::string error;
  if (!Sim::ParseScenario(text, "fuzz.scenario", &scenario, &error)) {
    // A refusal always says where.
    if (error.rfind("fuzz.scenario:", 0) != 0) std::abort();
    return 0;
  }
  for (const Sim::ScenarioAction& action : scenario.actions) {
    const auto bytes = Sim::EncodeFileText(action.text, action.encoding);
    if (action.encoding == Sim::TextEncoding::kUtf16Le && (bytes.size() < 2 || bytes.size() % 2 != 0))
      std::abort();
  }
  return 0;
}
