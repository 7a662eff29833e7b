#include "reader/text/process_json.h"

#include "reader/text/csv_text.h"

namespace Reader {

nlohmann::json TextOrNull(bool present, const std::string& text) {
  return present ? nlohmann::json(text) : nlohmann::json(nullptr);
}

void AddProcessJson(const ProcessFacts& facts, bool known, nlohmann::json* object) {
  nlohmann::json& o = *object;
  o["process"] = TextOrNull(known, facts.process);
  o["processPath"] = TextOrNull(known, facts.processPath);
  o["fileVersion"] = TextOrNull(known, facts.fileVersion);
  o["companyName"] = TextOrNull(known, facts.companyName);
  o["signer"] = TextOrNull(facts.hasSignature, facts.signer);
  o["signatureValid"] = facts.hasSignature ? nlohmann::json(facts.signatureValid) : nlohmann::json(nullptr);
  o["downloadAddress"] = TextOrNull(!facts.downloadAddress.empty(), facts.downloadAddress);
}

std::string CsvValue(const nlohmann::json& value) {
  if (value.is_null()) return "";
  if (value.is_string()) return CsvField(value.get<std::string>());
  return value.dump();
}

}  // namespace Reader
