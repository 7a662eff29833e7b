#include "fleet/queries/stored_event.h"

#include <optional>
#include <string>

#include "reader/record/event_time.h"

namespace Fleet {
namespace {

nlohmann::json Member(const nlohmann::json& object, const char* name) {
  return object.is_object() && object.contains(name) ? object[name] : nlohmann::json::object();
}

std::string Text(const nlohmann::json& body, const char* field) {
  const auto found = body.find(field);
  return found != body.end() && found->is_string() ? found->get<std::string>() : std::string();
}

int64_t Number(const nlohmann::json& body, const char* field) {
  const auto found = body.find(field);
  return found != body.end() && found->is_number_integer() ? found->get<int64_t>() : 0;
}

}  // namespace

Reader::EventRecord EventRecordOfMessage(const nlohmann::json& message) {
  Reader::EventRecord e;
  e.key = Number(message, "key");
  // The message's time carries its offset ("...T19:26:50+01:00"); the record keeps
  // the local text and the offset apart, and every view joins them again.
  e.time = Text(message, "time");
  std::string local;
  std::optional<int32_t> offset;
  if (Reader::SplitTime(e.time, &local, &offset)) {
    e.time = local;
    e.utcOffset = offset;
  }
  e.eventType = static_cast<int32_t>(Number(message, "eventType"));
  e.event = Text(message, "event");
  e.loadPointType = static_cast<int32_t>(Number(message, "loadPointType"));
  e.typeName = Text(message, "type");
  e.entry = Text(message, "entry");
  e.displayName = Text(message, "displayName");
  e.user = Text(message, "user");
  e.userName = Text(message, "userName");
  e.controlSet = Text(message, "controlSet");
  e.oldCommandLine = Text(message, "oldCommandLine");
  e.newCommandLine = Text(message, "newCommandLine");
  // A live event may name no process either: only a process path names one.
  e.foundByRescan = !(message.contains("foundByRescan") && message["foundByRescan"].is_boolean()) ||
                    message["foundByRescan"].get<bool>();
  e.noProcess = !(message.contains("processPath") && message["processPath"].is_string());
  e.process = Text(message, "process");
  e.processPath = Text(message, "processPath");
  e.fileVersion = Text(message, "fileVersion");
  e.companyName = Text(message, "companyName");
  e.hasSignature = message.contains("signatureValid") && message["signatureValid"].is_boolean();
  e.signer = Text(message, "signer");
  e.signatureValid = e.hasSignature && message["signatureValid"].get<bool>();
  e.downloadAddress = Text(message, "downloadAddress");
  // Beside the reader's fields: how the change was learnt, and whether it disabled
  // or enabled a load point again (0 in a message exported before they travelled).
  e.origin = static_cast<int32_t>(Number(message, "origin"));
  e.stateChange = static_cast<int32_t>(Number(message, "stateChange"));
  const nlohmann::json raw = Member(message, "raw");
  const nlohmann::json change = Member(raw, "ChangeEvents");
  e.change.key = Number(change, "KEY");
  e.change.eventTime = Text(change, "EVENT_TIME");
  e.change.processEntryKey = Number(change, "PROCESS_ENTRY_KEY");
  e.change.loadPointKey = Number(change, "LOAD_POINT_KEY");
  e.change.eventType = static_cast<int32_t>(Number(change, "EVENT_TYPE"));
  const nlohmann::json extended = raw.is_object() && raw.contains("ExtendedEvent") ? raw["ExtendedEvent"] : nlohmann::json();
  e.extended.present = extended.is_object();
  if (e.extended.present) {
    e.extended.exEventType = static_cast<int32_t>(Number(extended, "EX_EVENT_TYPE"));
    for (size_t i = 0; i < e.extended.param.size(); ++i)
      e.extended.param[i] = Text(extended, ("PARAM_" + std::to_string(i)).c_str());
  }
  return e;
}

}  // namespace Fleet
