#include "fleet/stream_setup.h"

#include <ostream>
#include <regex>

namespace Fleet {
namespace {

const char* kSubjects[] = {"brumevale.>"};

void Configure(const StreamSettings& wanted, jsStreamConfig* config) {
  jsStreamConfig_Init(config);
  config->Name = kStreamName;
  config->Subjects = kSubjects;
  config->SubjectsLen = 1;
  config->Storage = js_FileStorage;
  config->Duplicates = kDuplicateWindowNs;
  config->Replicas = wanted.replicas;
  config->MaxAge = wanted.maxAgeNs;
  config->MaxBytes = wanted.maxBytes == 0 ? -1 : wanted.maxBytes;
}

// What differs between the stream as it is and as wanted, one item each.
std::string Differences(const jsStreamConfig& is, const jsStreamConfig& wanted) {
  std::string out;
  auto differ = [&](const char* name, int64_t now, int64_t want) {
    if (now != want) out += std::string(out.empty() ? "" : "; ") + name + " " + std::to_string(now) + " (wanted " +
                            std::to_string(want) + ")";
  };
  differ("replicas", is.Replicas, wanted.Replicas);
  differ("max age ns", is.MaxAge, wanted.MaxAge);
  differ("max bytes", is.MaxBytes, wanted.MaxBytes);
  differ("duplicate window ns", is.Duplicates, wanted.Duplicates);
  differ("file storage", is.Storage == js_FileStorage, 1);
  const bool subjects = is.SubjectsLen == 1 && std::string(is.Subjects[0]) == kSubjects[0];
  differ("subjects brumevale.>", subjects, 1);
  return out;
}

}  // namespace

bool ParseAge(const std::string& text, int64_t* ns) {
  std::smatch match;
  if (!std::regex_match(text, match, std::regex(R"((\d{1,6})([hd]?))"))) return false;
  *ns = std::stoll(match[1]) * (match[2] == "d" ? 24 : 1) * 3600 * 1000000000;
  return match[1] == "0" || match[2].length() > 0;
}

bool ParseBytes(const std::string& text, int64_t* bytes) {
  std::smatch match;
  if (!std::regex_match(text, match, std::regex(R"((\d{1,12})([KMGT]?))"))) return false;
  static const std::string kUnits = "KMGT";
  *bytes = std::stoll(match[1]) << (match[2].length() == 0 ? 0 : 10 * (kUnits.find(match[2].str()) + 1));
  return true;
}

int SetUpStream(const NatsSettings& nats, const StreamSettings& wanted, bool update, std::ostream& out,
                std::ostream& err) {
  JetStreamLink link;
  std::string error;
  if (!link.Connect(nats, &error)) {
    err << "brumevale fleet setup: cannot reach " << error << std::endl;
    return 1;
  }
  jsStreamConfig config;
  Configure(wanted, &config);
  jsStreamInfo* info = nullptr;
  jsErrCode code = static_cast<jsErrCode>(0);
  natsStatus s = js_GetStreamInfo(&info, link.Context(), kStreamName, nullptr, &code);
  if (s == NATS_NOT_FOUND) {
    s = js_AddStream(&info, link.Context(), &config, nullptr, &code);
    jsStreamInfo_Destroy(info);
    if (s != NATS_OK) return err << "brumevale fleet setup: cannot create the stream: " << NatsError(s) << std::endl, 1;
    out << "stream " << kStreamName << " created" << std::endl;
    return 0;
  }
  if (s != NATS_OK) return err << "brumevale fleet setup: " << NatsError(s) << std::endl, 1;
  const std::string differences = Differences(*info->Config, config);
  jsStreamInfo_Destroy(info);
  if (differences.empty()) {
    out << "stream " << kStreamName << " as wanted" << std::endl;
    return 0;
  }
  if (!update) {
    err << "brumevale fleet setup: the stream " << kStreamName << " exists with other settings: " << differences
        << "; --update changes them" << std::endl;
    return 1;
  }
  info = nullptr;
  s = js_UpdateStream(&info, link.Context(), &config, nullptr, &code);
  jsStreamInfo_Destroy(info);
  if (s != NATS_OK) return err << "brumevale fleet setup: cannot change the stream: " << NatsError(s) << std::endl, 1;
  out << "stream " << kStreamName << " changed: " << differences << std::endl;
  return 0;
}

}  // namespace Fleet
