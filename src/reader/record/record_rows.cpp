// The ExtendedEvent row is the record of the moment (a removed load point survives
// only there); without one, the load point, setting or extension row gives its
// current values.

#include "reader/record/record_rows.h"

#include <cstdlib>

#include "database/sql_text.h"
#include "families/common/load_point_catalogue.h"
#include "families/settings/system_settings.h"
#include "platform/text_encoding.h"

using Database::FromUtf8;
using Database::SqlStatement;
using Database::SqlType;
using Families::FindSystemSettingDefinition;
using Families::IsControlSetType;
using Families::SystemSettingDefinition;

namespace Reader {
namespace {

bool IsAscii(const char* text) {
  for (; *text; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80) return false;
  }
  return true;
}

struct Columns {
  const SqlStatement& statement;
  // The service stores each UTF-16 unit on its own, so a character outside the
  // Basic Multilingual Plane arrives as two three-byte halves; readers want
  // standard UTF-8 (a half without its partner becomes U+FFFD).
  std::string Text(int column) const {
    const char* text = statement.Text(column);
    if (text == nullptr) return "";
    if (IsAscii(text)) return text;
    return Platform::Utf16ToUtf8(FromUtf8(text));
  }
  int64_t Number(int column) const { return statement.Int64(column); }
  bool Present(int column) const { return statement.Type(column) != SqlType::kNull; }
};

// Columns of the event query.
enum : int { kEventKey, kTime, kType, kProcessKey, kTargetKey, kExKind, kParam0 = 6,
             kPointType = 12, kPointEntry, kPointUser, kPointCommand,
             kSettingType, kSettingUser, kSettingPath, kSettingValue,
             kExtensionUser, kExtensionEntry, kExtensionVerb, kExtensionValue, kEventProcess,
             kEventOrigin = kEventProcess + 9, kEventStateChange, kPointDisplay };
// Columns of the load-point query.
enum : int { kLpKey, kLpType, kLpUser, kLpEntry, kLpCommand, kLpDisplay, kLpCreated, kLpEventKey,
             kLpIndirectionEntry, kLpIndirectionCommand, kLpEventTime, kLpProcessKey, kLpProcess,
             kLpOrigin = kLpProcess + 9, kLpOriginState, kLpExKind, kLpExValue };

void ReadRaw(const Columns& c, EventRecord* r) {
  r->change = {c.Number(kEventKey), c.Text(kTime), c.Number(kProcessKey), c.Number(kTargetKey),
               static_cast<int32_t>(c.Number(kType))};
  r->extended.present = c.Present(kExKind);
  r->extended.exEventType = static_cast<int32_t>(c.Number(kExKind));
  for (int i = 0; i < 6; ++i) r->extended.param[i] = c.Text(kParam0 + i);
}

void FillFromExtended(const ExtendedEventColumns& e, EventRecord* r) {
  r->loadPointType = static_cast<int32_t>(std::strtol(e.param[0].c_str(), nullptr, 10));
  r->entry = e.param[1];
  r->user = e.param[2];
  if (e.exEventType == 4) {
    r->oldCommandLine = e.param[4];
  } else {
    r->newCommandLine = e.param[4];
    if (e.exEventType == 2 || e.exEventType == 3) r->oldCommandLine = e.param[5];
  }
}

void FillSetting(const Columns& c, EventRecord* r) {
  const int64_t type = c.Number(kSettingType);
  const SystemSettingDefinition* known =
      type > 0 && type <= 20 ? FindSystemSettingDefinition(static_cast<uint32_t>(type)) : nullptr;
  r->typeName = "System setting";
  r->entry = c.Text(kSettingPath) + "\\" +
             (known != nullptr ? Platform::Utf16ToUtf8(known->valueName) : std::to_string(type));
  r->user = c.Text(kSettingUser);
  r->newCommandLine = c.Text(kSettingValue);
}

void FillExtension(const Columns& c, EventRecord* r) {
  const std::string verb = c.Text(kExtensionVerb);
  r->typeName = "File extension";
  r->entry = c.Text(kExtensionEntry) + (verb.empty() ? "" : "\\shell\\" + verb);
  r->user = c.Text(kExtensionUser);
  r->newCommandLine = c.Text(kExtensionValue);
}

void FillTarget(const Columns& c, EventRecord* r) {
  if (r->extended.present && r->extended.exEventType != 0) {
    FillFromExtended(r->extended, r);
  } else if (c.Present(kPointType)) {
    r->loadPointType = static_cast<int32_t>(c.Number(kPointType));
    r->entry = c.Text(kPointEntry);
    r->user = c.Text(kPointUser);
    r->newCommandLine = c.Text(kPointCommand);
  } else if (c.Present(kSettingType)) {
    return FillSetting(c, r);
  } else if (c.Present(kExtensionEntry)) {
    return FillExtension(c, r);
  }
  if (r->loadPointType > 0) {
    r->typeName = LoadPointTypeName(r->loadPointType);
  } else if (r->eventType == 8 || r->eventType == 14) {
    // The .exe command's events carry their values in extended data of their own,
    // whose type column holds no load-point type.
    r->typeName = "File extension";
  }
}

// The nine process and signature columns from first on; false when there is no process.
bool ReadProcess(const Columns& c, int first, ProcessFacts* p) {
  if (!c.Present(first)) return false;
  p->processPath = c.Text(first + 1);
  p->process = c.Text(first + 2);
  p->fileVersion = c.Text(first + 3);
  p->companyName = c.Text(first + 4);
  const std::string download = c.Text(first + 5);
  p->downloadAddress = download.substr(0, download.find('\n'));
  p->hasSignature = c.Present(first + 6);
  p->signer = c.Text(first + 7);
  p->signatureValid = c.Text(first + 8) == "Y";
  return true;
}

// Rescans write no process, and leave a mark of their own: a rescan's removal
// carries extended data without the process key that a live event's always has,
// and the helper-object watcher records what its rescan finds as a bare change.
// Every other event without a process was made live.
bool IsRescanFinding(const EventRecord& r) {
  if (r.eventType == 6 || r.eventType == 9) return true;  // a rescan's or a check's summary
  if (r.origin != 0) return r.origin == 1;  // the record says how it was learnt
  if (r.change.processEntryKey != 0) return false;
  const bool extended = r.extended.present && r.extended.exEventType != 0;
  if (r.eventType == 2) return extended && r.extended.param[3].empty();
  return r.eventType == 1 && !extended;
}

// A control set is no user: a control-set location's USER_ID names where it lives.
template <typename Record>
void SeparateControlSet(Record* r) {
  const bool controlSetType = r->loadPointType > 0 && IsControlSetType(static_cast<uint32_t>(r->loadPointType));
  if (controlSetType || r->user.rfind("ControlSet", 0) == 0) {
    r->controlSet = std::move(r->user);
    r->user.clear();
  }
}

}  // namespace

void ReadEventRow(const SqlStatement& statement, EventRecord* r) {
  const Columns c{statement};
  ReadRaw(c, r);
  r->key = r->change.key;
  r->time = r->change.eventTime;
  r->eventType = r->change.eventType;
  r->event = ChangeEventName(r->eventType);
  FillTarget(c, r);
  SeparateControlSet(r);
  r->displayName = c.Text(kPointDisplay);
  // A live event may name its entry by the display name (a service's, a task's path);
  // while the row stands, the event takes the row's own name, as the inventory has it.
  const std::string rowEntry = c.Text(kPointEntry);
  if (!rowEntry.empty() && !r->displayName.empty() && r->entry == r->displayName) r->entry = rowEntry;
  r->noProcess = !ReadProcess(c, kEventProcess, r);
  r->origin = static_cast<int32_t>(c.Number(kEventOrigin));
  r->stateChange = static_cast<int32_t>(c.Number(kEventStateChange));
  r->foundByRescan = IsRescanFinding(*r);
  // A disabled service or task keeps its rows' removal; the event says what it was.
  if (r->stateChange == 1) r->event = "disabled";
  if (r->stateChange == 2) r->event = "enabled again";
}

void ReadLoadPointRow(const SqlStatement& statement, LoadPointRecord* r) {
  const Columns c{statement};
  r->key = c.Number(kLpKey);
  r->loadPointType = static_cast<int32_t>(c.Number(kLpType));
  r->typeName = LoadPointTypeName(r->loadPointType);
  r->user = c.Text(kLpUser);
  SeparateControlSet(r);
  r->entry = c.Text(kLpEntry);
  r->commandLine = c.Text(kLpCommand);
  r->displayName = c.Text(kLpDisplay);
  r->firstRecorded = c.Text(kLpCreated);
  r->changeEventKey = c.Number(kLpEventKey);
  r->indirectionEntry = c.Text(kLpIndirectionEntry);
  r->indirectionCommandLine = c.Text(kLpIndirectionCommand);
  r->lastChanged = c.Text(kLpEventTime);
  r->noProcess = !ReadProcess(c, kLpProcess, r);
  r->lastOrigin = static_cast<int32_t>(c.Number(kLpOrigin));
  // An older rescan changed a row without an event of its own and left it pointing
  // at the last live event: that event's value is not the row's, and its process
  // did not write what the row holds.
  // (A class entry's event writes the class's server, which the row keeps beside it.)
  const int64_t exKind = c.Number(kLpExKind);
  const std::string written = c.Text(kLpExValue);
  r->changedSinceEvent = !r->noProcess && (exKind == 1 || exKind == 2) && written != r->commandLine &&
                         written != r->indirectionCommandLine;
  if (r->changedSinceEvent) r->noProcess = true;
}

}  // namespace Reader
