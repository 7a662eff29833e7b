#include "fleet/collect/event_fields.h"

#include <cstdio>
#include <vector>

#include <nlohmann/json.hpp>

#include "reader/record/event_time.h"

namespace Fleet {
namespace {

// A value seen at one of the places read, as the collector needs it.
struct Seen {
  enum Kind { kMissing, kNull, kString, kInteger, kObject, kOther } kind = kMissing;
  std::string text;    // a string's value, an integer's digits
  int64_t number = 0;  // an integer's value (one beyond int64 reads as negative)
};

// The places read: the envelope, raw and its ChangeEvents row.
enum Field { kMachineId, kMachine, kKey, kTime, kRaw, kChangeEvents, kRowKey, kEventTime, kEventType,
             kLoadPointKey, kProcessEntryKey, kFieldCount };

class FieldReader final : public nlohmann::json_sax<nlohmann::json> {
 public:
  Seen root;
  Seen field[kFieldCount];

  bool null() override { return Scalar(Seen::kNull); }
  bool boolean(bool) override { return Scalar(Seen::kOther); }
  bool number_integer(number_integer_t value) override { return Integer(value, std::to_string(value)); }
  bool number_unsigned(number_unsigned_t value) override {
    return Integer(static_cast<int64_t>(value), std::to_string(value));
  }
  bool number_float(number_float_t, const string_t&) override { return Scalar(Seen::kOther); }
  bool string(string_t& value) override {
    if (Seen* seen = Target()) {
      seen->kind = Seen::kString;
      seen->text = std::move(value);
    }
    return Done();
  }
  bool binary(binary_t&) override { return Scalar(Seen::kOther); }
  bool start_object(std::size_t) override {
    Seen* seen = Target();
    Place place = kElsewhere;
    if (stack_.empty()) place = kTop;
    else if (seen == &field[kRaw]) place = kInRaw;
    else if (seen == &field[kChangeEvents]) place = kInRow;
    // A place given again (a duplicate name) is read as given last, as jsonb keeps it.
    if (place == kInRaw) Forget(kChangeEvents, kProcessEntryKey);
    if (place == kInRow) Forget(kRowKey, kProcessEntryKey);
    if (seen != nullptr) seen->kind = Seen::kObject;
    stack_.push_back(place);
    next_ = nullptr;
    return true;
  }
  bool key(string_t& name) override {
    next_ = nullptr;
    static const std::pair<const char*, Field> kTopFields[] = {
        {"machineId", kMachineId}, {"machine", kMachine}, {"key", kKey}, {"time", kTime}, {"raw", kRaw}};
    static const std::pair<const char*, Field> kRowFields[] = {
        {"KEY", kRowKey}, {"EVENT_TIME", kEventTime}, {"EVENT_TYPE", kEventType},
        {"LOAD_POINT_KEY", kLoadPointKey}, {"PROCESS_ENTRY_KEY", kProcessEntryKey}};
    if (stack_.back() == kTop) {
      for (const auto& [text, place] : kTopFields)
        if (name == text) next_ = &field[place];
    } else if (stack_.back() == kInRaw && name == "ChangeEvents") {
      next_ = &field[kChangeEvents];
    } else if (stack_.back() == kInRow) {
      for (const auto& [text, place] : kRowFields)
        if (name == text) next_ = &field[place];
    }
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override {
    if (Seen* seen = Target()) seen->kind = Seen::kOther;
    stack_.push_back(kElsewhere);
    next_ = nullptr;
    return true;
  }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  enum Place { kTop, kInRaw, kInRow, kElsewhere };

  // Where the value now starting goes: the root, a field named just before, or nowhere.
  Seen* Target() { return stack_.empty() ? &root : next_; }
  bool Done() {
    next_ = nullptr;
    return true;
  }
  bool Scalar(Seen::Kind kind) {
    if (Seen* seen = Target()) *seen = Seen{kind, "", 0};
    return Done();
  }
  bool Integer(int64_t value, std::string digits) {
    if (Seen* seen = Target()) *seen = Seen{Seen::kInteger, std::move(digits), value};
    return Done();
  }
  bool Close() {
    stack_.pop_back();
    next_ = nullptr;
    return true;
  }
  void Forget(Field from, Field to) {
    for (int i = from; i <= to; ++i) field[i] = Seen{};
  }

  std::vector<Place> stack_;
  Seen* next_ = nullptr;
};

bool IsText(const Seen& seen) { return seen.kind == Seen::kString && !seen.text.empty(); }
bool IsCount(const Seen& seen) { return seen.kind == Seen::kInteger && seen.number >= 0; }
bool NumberOrNull(const Seen& seen) {
  return seen.kind == Seen::kMissing || seen.kind == Seen::kNull || seen.kind == Seen::kInteger;
}

// "YYYY-MM-DD HH:MM:SS" as the service writes it; the window of `fleet new` counts on it.
bool IsStoredTime(const Seen& seen) {
  if (seen.kind != Seen::kString) return false;
  static constexpr char kShape[] = "0000-00-00 00:00:00";
  if (seen.text.size() != sizeof(kShape) - 1) return false;
  for (size_t i = 0; i < seen.text.size(); ++i)
    if (kShape[i] == '0' ? (seen.text[i] < '0' || seen.text[i] > '9') : seen.text[i] != kShape[i]) return false;
  return true;
}

// The event's UTC time. The message's time ("2024-05-01T10:00:00+02:00") carries the
// offset the machine noted for its local time; where it carries none (a record
// without offset notes, or a message from before they travelled) the local time is
// stored as if it were UTC and utc_offset stays NULL: every time of that machine is
// then off by the same unknown amount, which keeps its own order and windows right.
void UtcTimeOf(const Seen& time, EventFields* out) {
  std::string local;
  std::optional<int32_t> offset;
  std::string iso = time.kind == Seen::kString ? time.text : std::string();
  out->utcOffsetKnown = iso.size() == 25 && Reader::SplitTime(iso, &local, &offset) && offset &&
                        local == out->eventTime;
  out->utcOffset = out->utcOffsetKnown ? *offset : 0;
  out->eventAt = out->eventTime + (out->utcOffsetKnown ? Reader::OffsetText(out->utcOffset) : "+00:00");
}

Field FirstNotNumber(const Seen* field) {
  for (const Field f : {kLoadPointKey, kProcessEntryKey})
    if (!NumberOrNull(field[f])) return f;
  return kFieldCount;
}

}  // namespace

std::string ReadEventFields(std::string_view bytes, EventFields* out) {
  FieldReader reader;
  if (!nlohmann::json::sax_parse(bytes.begin(), bytes.end(), &reader)) return "not JSON";
  const Seen* f = reader.field;
  if (reader.root.kind != Seen::kObject) return "not a JSON object";
  if (!IsText(f[kMachineId])) return "no machineId";
  if (!IsText(f[kMachine])) return "no machine";
  if (!IsCount(f[kKey]) || f[kKey].number == 0) return "no event key";
  if (f[kRaw].kind != Seen::kObject || f[kChangeEvents].kind != Seen::kObject) return "no ChangeEvents row";
  if (!IsCount(f[kRowKey]) || f[kRowKey].number != f[kKey].number) return "the ChangeEvents row is not the event's";
  if (!IsStoredTime(f[kEventTime])) return "EVENT_TIME is not a time";
  if (const Field bad = FirstNotNumber(f); bad != kFieldCount)
    return std::string(bad == kLoadPointKey ? "LOAD_POINT_KEY" : "PROCESS_ENTRY_KEY") + " is not a number";
  if (!NumberOrNull(f[kEventType])) return "EVENT_TYPE is not a number";
  *out = EventFields{};
  out->machineId = f[kMachineId].text;
  out->machine = f[kMachine].text;
  out->key = f[kKey].number;
  out->eventTime = f[kEventTime].text;
  out->eventType = f[kEventType].text;
  out->loadPointKey = f[kLoadPointKey].text;
  out->processEntryKey = f[kProcessEntryKey].text;
  UtcTimeOf(f[kTime], out);
  return "";
}

}  // namespace Fleet
