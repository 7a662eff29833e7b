#pragma once
// What the settings and file-extension checks change, named. The checks bring the
// SystemSetting and FileExtension rows in line with the machine without writing an
// event for what they change; with the driver, its events name those changes as
// they happen. A check that runs after a rescan, or on a change notification when
// there is no driver, is the only witness: each row it adds, changes or removes
// then gets the event that the live handler writes, with no process and an
// EventOrigin row saying how it was learnt.

#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include "database/event_origin.h"

namespace Engine {

class LoadPointEngine;

struct CheckRows {
  struct Row {
    int32_t key;
    std::u16string value;
  };
  // SystemSetting by (TYPE, USER_ID).
  std::map<std::tuple<int32_t, std::u16string>, Row> settings;
  // FileExtension by (TYPE, USER_ID, ENTRY_ID, VERB).
  std::map<std::tuple<int32_t, std::u16string, std::u16string, std::u16string>, Row> extensions;
};

// The rows as they are now.
CheckRows ReadCheckRows(LoadPointEngine& engine);
// Names each difference between before and the rows now with its event.
void RecordCheckFindings(LoadPointEngine& engine, const CheckRows& before, Database::ChangeOrigin origin);
// The settings and file-extension checks (without the settings summary event), named.
void ReReadChecks(LoadPointEngine& engine);

}  // namespace Engine
