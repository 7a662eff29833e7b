// Live changes of Active Setup components and browser extensions. Both are keyed by
// a subkey and described by more than one of its values: a component by its
// "StubPath" and its name in the default value, an extension by whichever of its
// command values it was made from.

#include "database/load_point_database.h"
#include "database/row_readers.h"
#include "families/common/class_indirection.h"
#include "families/common/keyed_change.h"
#include "families/common/load_point_catalogue.h"
#include "families/common/load_point_handlers.h"
#include "families/services/service_scan.h"
#include "intake/brumevale_event.h"
#include "intake/location_codes.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

using Database::IndirectionRows;
using Intake::BrumevaleRegistryEvent;
using Intake::kRegistryKeyDeleted;
using Intake::kRegistryValueDeleted;
using Intake::kRegistryValueSet;
using enum Intake::MatcherCode;
using Ledger::ChangeRecords;
using Ledger::LedgerContext;
using Ledger::ReconcileLoadPoint;
using Ledger::kChangeKindAdded;
using Ledger::kChangeKindChanged;
using Ledger::kChangeKindNone;

namespace Families {

namespace {

// --- Active Setup -------------------------------------------------------------

bool IsComponentNameCode(uint32_t code) { return code == kActiveSetupNameCode || code == kActiveSetupNameWow64Code; }

// An empty "StubPath" runs nothing: the component counts as gone.
void StubPathSet(LedgerContext& context, const BrumevaleRegistryEvent& event, KeyedChange& c,
                 const std::u16string& data) {
  if (!c.HasRow()) {
    if (data.empty()) return;
    std::u16string componentName;
    VyrUtilities::ReadRegistryString(context.System(), Platform::kHkeyLocalMachine,
                                     event.KeyPath().ToText(false), u"", componentName);
    ReconcileLoadPoint(context, c.type, u"", c.name, data, componentName, &c.record.targetKey);
    if (c.record.targetKey > 0) {
      c.Set(kChangeKindAdded);
      c.record.extendedData->SetAdded(data, componentName);
    }
  } else if (data.empty()) {
    DeleteKeyedRow(c, c.row.DISPLAY_NAME(0));
  } else if (!VyrUtilities::EqualsIgnoreCase(c.row.COMMAND_LINE(0), data) &&
             c.database.UpdateLoadPointEntry(c.Key(), data) > 0) {
    c.Set(kChangeKindChanged);
    c.record.extendedData->SetChanged(data, c.row.COMMAND_LINE(0), c.row.DISPLAY_NAME(0));
  }
}

// --- Browser extensions -------------------------------------------------------

// The extension's row was made from the value it names in DISPLAY_NAME; a class
// extension also has the class's name and server in its Indirection row.
struct ExtensionClass {
  bool present = false;
  std::u16string name;
  std::u16string server;
};

ExtensionClass ReadExtensionClass(KeyedChange& c) {
  ExtensionClass found;
  IndirectionRows rows;
  if (c.HasRow() && c.row.INDIRECTION_KEY(0) > 0 &&
      c.database.FindIndirectionEntryByKey(c.row.INDIRECTION_KEY(0), rows) == 1) {
    found = {true, rows.ENTRY_NAME(0), rows.COMMAND_LINE(0)};
  }
  return found;
}

void ExtensionValueSet(KeyedChange& c, const std::u16string& valueName,
                       const std::u16string& data, const ExtensionClass& cls) {
  if (!c.HasRow()) {
    c.record.targetKey = c.database.AddLoadPointEntry(static_cast<int32_t>(c.type), c.userId,
                                                      c.name, data, valueName);
    if (c.record.targetKey >= 1) {
      c.Set(kChangeKindAdded);
      c.record.extendedData->SetAdded(data, valueName);
    }
  } else if (!VyrUtilities::EqualsIgnoreCase(c.row.DISPLAY_NAME(0), valueName)) {
    // The extension now runs another of its values: command and the value it came
    // from change together, in the live batch's transaction.
    c.database.UpdateLoadPointEntry(c.Key(), data);
    c.database.UpdateLoadPointDisplayName(c.Key(), valueName);
    c.Set(kChangeKindChanged);
    c.record.extendedData->SetChanged(data, c.row.COMMAND_LINE(0), valueName);
  } else if (!VyrUtilities::EqualsIgnoreCase(c.row.COMMAND_LINE(0), data)) {
    c.database.UpdateLoadPointEntry(c.Key(), data);
    c.Set(kChangeKindChanged);
    c.record.extendedData->SetChanged(data, cls.present ? cls.server : c.row.COMMAND_LINE(0),
                                      c.row.DISPLAY_NAME(0));
  }
}

bool NamesClass(const std::u16string& valueName) {
  // Letter case matters here: only the values the browser reads as class names.
  return valueName == u"ClsidExtension" || valueName == u"BandCLSID";
}

}  // namespace

void HandleActiveSetupEvent(LedgerContext& context, const BrumevaleRegistryEvent& event,
                            ChangeRecords& records) {
  if (event.Operation() == kRegistryKeyDeleted) {
    HandleKeyDeletion(context, event, records);
    return;
  }
  std::unique_ptr<KeyedChange> change = LookUpKeyedChange(context, event, u"");
  if (change == nullptr) return;
  KeyedChange& c = *change;
  c.record.extendedData->SetLoadPoint(c.type, c.name, LoadPointUserId(event));
  const bool nameCode = IsComponentNameCode(event.MatcherCode());
  const std::u16string& data = event.GetValueText(0);
  if (event.Operation() == kRegistryValueDeleted && c.HasRow()) {
    if (!nameCode) {
      DeleteKeyedRow(c, c.row.DISPLAY_NAME(0));
    } else if (c.database.UpdateLoadPointDisplayName(c.Key(), u"") > 0) {
      c.Set(kChangeKindChanged);
      c.record.extendedData->SetNameChanged(u"", c.row.DISPLAY_NAME(0));
    }
  } else if (event.Operation() == kRegistryValueSet) {
    if (nameCode) {
      RenameKeyedRow(c, data);
    } else {
      StubPathSet(context, event, c, data);
    }
  }
  AppendKeyedChange(c, records);
}

void HandleBrowserExtensionEvent(LedgerContext& context, const BrumevaleRegistryEvent& event,
                                 ChangeRecords& records) {
  if (event.Operation() == kRegistryKeyDeleted) {
    HandleKeyDeletion(context, event, records);
    return;
  }
  const std::u16string userId = event.KeyPath().Sid();
  std::unique_ptr<KeyedChange> change = LookUpKeyedChange(context, event, userId);
  if (change == nullptr) return;
  KeyedChange& c = *change;
  const ExtensionClass cls = ReadExtensionClass(c);
  const std::u16string& valueName = event.ValueName();
  if (event.Operation() == kRegistryValueDeleted && c.HasRow() &&
      VyrUtilities::EqualsIgnoreCase(c.row.DISPLAY_NAME(0), valueName)) {
    DeleteKeyedRow(c, cls.present ? cls.name : c.row.DISPLAY_NAME(0));
  } else if (event.Operation() == kRegistryValueSet) {
    ExtensionValueSet(c, valueName, event.GetValueText(0), cls);
  }
  if ((c.record.kind == kChangeKindAdded || c.record.kind == kChangeKindChanged) &&
      NamesClass(valueName)) {
    RefreshClassIndirection(context, event, c.record.extendedData.get(), c.record.targetKey);
  }
  if (c.record.kind != kChangeKindNone) c.record.extendedData->SetLoadPoint(c.type, c.name, userId);
  AppendKeyedChange(c, records);
}

}  // namespace Families
