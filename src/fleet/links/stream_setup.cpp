#include "fleet/links/stream_setup.h"

#include <algorithm>
#include <ostream>
#include <regex>

namespace Fleet {
namespace {

const char* kSubjects[] = {"brumevale.>"};
const char* kCappedSubjects[] = {kCappedSubject};

// A stream of one subject filter kept on file as long as the events, with the window for repeats.
void ConfigureStream(const char* name, const char** subjects, const StreamSettings& wanted, jsStreamConfig* config) {
  jsStreamConfig_Init(config);
  config->Name = name;
  config->Subjects = subjects;
  config->SubjectsLen = 1;
  config->Storage = js_FileStorage;
  config->Duplicates = kDuplicateWindowNs;
  config->Replicas = wanted.replicas;
  config->MaxAge = wanted.maxAgeNs;
}

void Configure(const StreamSettings& wanted, jsStreamConfig* config) {
  ConfigureStream(kStreamName, kSubjects, wanted, config);
  config->MaxBytes = wanted.maxBytes == 0 ? -1 : wanted.maxBytes;
  config->AllowDirect = true;  // each exporter reads its own last messages (see JetStreamLink::LastMessage)
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
  differ("direct get", is.AllowDirect, wanted.AllowDirect);
  const bool subjects = is.SubjectsLen == 1 && std::string(is.Subjects[0]) == wanted.Subjects[0];
  differ((std::string("subjects ") + wanted.Subjects[0]).c_str(), subjects, 1);
  return out;
}

// The capped advisories: few and small, no limit on bytes.
void ConfigureCapped(const StreamSettings& wanted, jsStreamConfig* config) {
  ConfigureStream(kCappedStreamName, kCappedSubjects, wanted, config);
}

struct ConsumerPlan {
  const char* stream;
  const char* durable;
  const char* filter;
  bool capped;  // given up on after maxDeliver deliveries
};

const ConsumerPlan kConsumers[] = {{kStreamName, kEventsConsumer, "brumevale.events.>", true},
                                   {kStreamName, kInventoryConsumer, "brumevale.inventory.>", true},
                                   {kCappedStreamName, kCappedConsumer, kCappedSubject, false}};

// A message not acknowledged in time comes again after 10 s, then 30 s, 1, 2 and 5
// minutes (and 5 minutes after that): a collector that dies on one message does not
// take it again at once.
constexpr int kBackOffSteps = 5;
constexpr int64_t kBackOffSeconds[kBackOffSteps] = {10, 30, 60, 120, 300};

void ConfigureConsumer(const ConsumerPlan& plan, const StreamSettings& wanted, int64_t* backOff,
                       jsConsumerConfig* config) {
  jsConsumerConfig_Init(config);
  config->Durable = plan.durable;
  config->FilterSubject = plan.filter;
  config->AckPolicy = js_AckExplicit;
  config->AckWait = kAckWaitNs;
  config->MaxAckPending = 20000;
  config->MaxDeliver = plan.capped ? wanted.maxDeliver : -1;
  if (!plan.capped) return;  // the server allows a back-off only beside a cap, and shorter than it
  const int steps = static_cast<int>(std::min<int64_t>(kBackOffSteps, wanted.maxDeliver - 1));
  for (int i = 0; i < steps; ++i) backOff[i] = kBackOffSeconds[i] * 1000000000;
  config->BackOff = backOff;
  config->BackOffLen = steps;
}

std::string ConsumerDifferences(const jsConsumerConfig& is, const jsConsumerConfig& wanted) {
  std::string out;
  auto differ = [&](const char* name, int64_t now, int64_t want) {
    if (now != want) out += std::string(out.empty() ? "" : "; ") + name + " " + std::to_string(now) + " (wanted " +
                            std::to_string(want) + ")";
  };
  differ("max deliver", is.MaxDeliver, wanted.MaxDeliver);
  differ("explicit acknowledgements", is.AckPolicy == js_AckExplicit, 1);
  differ("filter as wanted", is.FilterSubject != nullptr && std::string(is.FilterSubject) == wanted.FilterSubject, 1);
  bool sameBackOff = is.BackOffLen == wanted.BackOffLen;
  for (int i = 0; sameBackOff && i < is.BackOffLen; ++i) sameBackOff = is.BackOff[i] == wanted.BackOff[i];
  differ("back-off as wanted", sameBackOff, 1);
  return out;
}

bool SetUpConsumer(jsCtx* js, const char* stream, jsConsumerConfig& config, bool update, std::ostream& out,
                   std::ostream& err) {
  jsConsumerInfo* info = nullptr;
  jsErrCode code = static_cast<jsErrCode>(0);
  natsStatus s = js_GetConsumerInfo(&info, js, stream, config.Durable, nullptr, &code);
  std::string differences;
  if (s == NATS_OK) differences = ConsumerDifferences(*info->Config, config);
  jsConsumerInfo_Destroy(info);
  info = nullptr;
  if (s == NATS_OK && differences.empty()) {
    out << "consumer " << config.Durable << " as wanted" << std::endl;
    return true;
  }
  if (s == NATS_OK && !update) {
    err << "brumevale fleet setup: the consumer " << config.Durable << " exists with other settings: " << differences
        << "; --update changes them" << std::endl;
    return false;
  }
  if (s != NATS_OK && s != NATS_NOT_FOUND) return err << "brumevale fleet setup: " << NatsError(s) << std::endl, false;
  const bool made = s == NATS_NOT_FOUND;
  s = made ? js_AddConsumer(&info, js, stream, &config, nullptr, &code)
           : js_UpdateConsumer(&info, js, stream, &config, nullptr, &code);
  jsConsumerInfo_Destroy(info);
  if (s != NATS_OK)
    return err << "brumevale fleet setup: cannot " << (made ? "create" : "change") << " the consumer "
               << config.Durable << ": " << NatsError(s) << std::endl,
           false;
  out << "consumer " << config.Durable << (made ? " created" : " changed: " + differences) << std::endl;
  return true;
}

// One stream as wanted: made when missing, left when it matches, changed only with update.
bool SetUpOne(jsCtx* js, jsStreamConfig& config, bool update, std::ostream& out, std::ostream& err) {
  jsStreamInfo* info = nullptr;
  jsErrCode code = static_cast<jsErrCode>(0);
  natsStatus s = js_GetStreamInfo(&info, js, config.Name, nullptr, &code);
  if (s == NATS_NOT_FOUND) {
    s = js_AddStream(&info, js, &config, nullptr, &code);
    jsStreamInfo_Destroy(info);
    if (s != NATS_OK)
      return err << "brumevale fleet setup: cannot create the stream " << config.Name << ": " << NatsError(s) << std::endl,
             false;
    out << "stream " << config.Name << " created" << std::endl;
    return true;
  }
  if (s != NATS_OK) return err << "brumevale fleet setup: " << NatsError(s) << std::endl, false;
  const std::string differences = Differences(*info->Config, config);
  jsStreamInfo_Destroy(info);
  if (differences.empty()) {
    out << "stream " << config.Name << " as wanted" << std::endl;
    return true;
  }
  if (!update) {
    err << "brumevale fleet setup: the stream " << config.Name << " exists with other settings: " << differences
        << "; --update changes them" << std::endl;
    return false;
  }
  info = nullptr;
  s = js_UpdateStream(&info, js, &config, nullptr, &code);
  jsStreamInfo_Destroy(info);
  if (s != NATS_OK)
    return err << "brumevale fleet setup: cannot change the stream " << config.Name << ": " << NatsError(s) << std::endl,
           false;
  out << "stream " << config.Name << " changed: " << differences << std::endl;
  return true;
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
  jsStreamConfig events, capped;
  Configure(wanted, &events);
  ConfigureCapped(wanted, &capped);
  if (!SetUpOne(link.Context(), events, update, out, err) || !SetUpOne(link.Context(), capped, update, out, err))
    return 1;
  int64_t backOff[kBackOffSteps];
  for (const ConsumerPlan& plan : kConsumers) {
    jsConsumerConfig config;
    ConfigureConsumer(plan, wanted, backOff, &config);
    if (!SetUpConsumer(link.Context(), plan.stream, config, update, out, err)) return 1;
  }
  return 0;
}

}  // namespace Fleet
