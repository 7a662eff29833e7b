#include "util/time_text.h"

#include <cstdio>
#include <string>

namespace VyrUtilities {

namespace {

// The fields are small numbers; formatting them as ASCII and widening is exact.
std::u16string Widen(const char* text) {
  std::u16string result;
  for (; *text != '\0'; ++text) result += static_cast<char16_t>(*text);
  return result;
}

}  // namespace

std::u16string FormatTime(const Platform::SystemTime& time, bool withDate) {
  char buffer[50];
  if (withDate) {
    std::snprintf(buffer, sizeof buffer, "%d-%.2d-%.2d %.2d:%.2d:%.2d", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.2d:%.2d:%.2d", time.hour, time.minute, time.second);
  }
  return Widen(buffer);
}

std::u16string FormatCurrentTime(Platform::System& system, bool withDate) {
  return FormatTime(system.Environment().GetLocalTime(), withDate);
}

std::u16string FormatFileTime(Platform::System& system, Platform::FileTime fileTime,
                              bool dateOnly) {
  Platform::SystemTime local;
  if (!system.Environment().FileTimeToLocalSystemTime(fileTime, &local)) return {};
  char buffer[50];
  if (dateOnly) {
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d", local.month, local.day, local.year);
  } else {
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d %02d:%02d:%02d", local.month, local.day,
                  local.year, local.hour, local.minute, local.second);
  }
  return Widen(buffer);
}

}  // namespace VyrUtilities
