#include "engine/machine_notes.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "fileinfo/user_identity.h"

using Database::LoadPointDatabase;
using FileInfo::LoadProfileTable;
using FileInfo::UserTable;

namespace Engine {

namespace {

int64_t SecondsOf(const Platform::SystemTime& t) {
  using namespace std::chrono;
  const sys_days day = year{t.year} / t.month / t.day;
  return day.time_since_epoch().count() * 86400LL + t.hour * 3600LL + t.minute * 60LL + t.second;
}

std::u16string LocalTimeText(const Platform::SystemTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

// Every profile the machine has, logged on or not, as "DOMAIN\name".
void NoteUserNames(LoadPointDatabase& database, Platform::System& system, const std::u16string& now) {
  UserTable profiles;
  if (!LoadProfileTable(system, profiles)) return;
  for (const auto& [sid, loaded] : profiles) {
    std::u16string name, domain;
    if (system.Processes().LookupAccountSid(sid, &name, &domain) != Platform::kErrorSuccess || name.empty()) {
      continue;
    }
    database.AddUserNameEntry(sid, domain.empty() ? name : domain + u"\\" + name, now);
  }
}

}  // namespace

int32_t MachineUtcOffsetMinutes(Platform::Environment& environment) {
  const int64_t seconds = SecondsOf(environment.GetLocalTime()) - SecondsOf(environment.GetSystemTime());
  const int64_t rounded = seconds >= 0 ? (seconds + 30) / 60 : -((-seconds + 30) / 60);
  return static_cast<int32_t>(rounded);
}

void NoteMachineFacts(LoadPointDatabase& database, Platform::System& system) {
  Platform::Environment& environment = system.Environment();
  const std::u16string now = LocalTimeText(environment.GetLocalTime());
  database.AddUtcOffsetEntry(now, MachineUtcOffsetMinutes(environment));
  NoteUserNames(database, system, now);
}

}  // namespace Engine
