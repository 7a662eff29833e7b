// Live changes of the Winsock catalogs: a name-space provider is described by its
// "LibraryPath" and "DisplayString" values, a transport provider by one packed
// binary item. Rows are keyed by the catalog entry's number within its control set.

#include "database/load_point_database.h"
#include "database/row_readers.h"
#include "families/common/class_indirection.h"
#include "families/common/keyed_change.h"
#include "families/common/load_point_catalogue.h"
#include "families/common/load_point_handlers.h"
#include "families/services/service_scan.h"
#include "families/winsock/winsock_catalog.h"
#include "intake/brumevale_event.h"
#include "intake/location_codes.h"
#include "ledger/ledger_context.h"
#include "ledger/load_point_ledger.h"
#include "util/registry_readers.h"
#include "util/text_routines.h"

using Intake::BrumevaleRegistryEvent;
using Intake::kRegistryKeyDeleted;
using Intake::kRegistryValueDeleted;
using Intake::kRegistryValueSet;
using enum Intake::MatcherCode;
using Ledger::ChangeRecords;
using Ledger::LedgerContext;
using Ledger::ReconcileLoadPoint;
using Ledger::Reconciled;
using Ledger::kChangeKindAdded;
using Ledger::kChangeKindChanged;
using Ledger::kChangeKindNone;

namespace Families {

namespace {

bool IsDisplayStringCode(uint32_t code) { return code == kNameSpaceDisplayCode || code == kNameSpaceDisplay64Code; }

void Finish(KeyedChange& change, ChangeRecords& records) {
  if (change.record.kind != kChangeKindNone) {
    change.record.extendedData->SetLoadPoint(change.type, change.name, change.userId);
  }
  AppendKeyedChange(change, records);
}

void NameSpaceValueDeleted(KeyedChange& c, uint32_t code) {
  if (!c.HasRow()) return;
  if (IsDisplayStringCode(code)) {
    c.database.UpdateLoadPointDisplayName(c.Key(), u"");
    c.Set(kChangeKindChanged);
    c.record.extendedData->SetNameChanged(u"", c.row.DISPLAY_NAME(0));
  } else {
    DeleteKeyedRow(c, c.row.DISPLAY_NAME(0));
  }
}

void NameSpaceLibrarySet(LedgerContext& context, const BrumevaleRegistryEvent& event,
                         KeyedChange& c, const std::u16string& data) {
  if (!c.HasRow()) {
    std::u16string displayString;
    VyrUtilities::ReadRegistryString(context.System(), Platform::kHkeyLocalMachine,
                                     event.KeyPath().ToText(false), u"DisplayString",
                                     displayString);
    if (ReconcileLoadPoint(context, c.type, c.userId, c.name, data, displayString,
                           &c.record.targetKey) == Reconciled::kAdded) {
      c.Set(kChangeKindAdded);
      c.record.extendedData->SetAdded(data, displayString);
    }
  } else if (!VyrUtilities::EqualsIgnoreCase(c.row.COMMAND_LINE(0), data) &&
             c.database.UpdateLoadPointEntry(c.Key(), data) > 0) {
    c.Set(kChangeKindChanged);
    c.record.extendedData->SetChanged(data, c.row.COMMAND_LINE(0), c.row.DISPLAY_NAME(0));
  }
}

void ProtocolItemSet(LedgerContext& context, KeyedChange& c, const PackedCatalogItem& item) {
  if (!c.HasRow()) {
    if (ReconcileLoadPoint(context, c.type, c.userId, c.name, item.providerPath,
                           item.protocolName, &c.record.targetKey) == Reconciled::kAdded) {
      c.Set(kChangeKindAdded);
      c.record.extendedData->SetAdded(item.providerPath, u"");
    }
  } else if (!VyrUtilities::EqualsIgnoreCase(c.row.COMMAND_LINE(0), item.providerPath)) {
    if (c.database.UpdateLoadPointEntry(c.Key(), item.providerPath) > 0) {
      c.database.UpdateLoadPointDisplayName(c.Key(), item.protocolName);
      c.Set(kChangeKindChanged);
      c.record.extendedData->SetChanged(item.providerPath, c.row.COMMAND_LINE(0),
                                        item.protocolName);
    }
  } else if (!VyrUtilities::EqualsIgnoreCase(c.row.DISPLAY_NAME(0), item.protocolName)) {
    c.database.UpdateLoadPointDisplayName(c.Key(), item.protocolName);
    c.Set(kChangeKindChanged);
    c.record.extendedData->SetNameChanged(item.protocolName, c.row.DISPLAY_NAME(0));
  }
}

// The start both catalogs share: the deletion of a key at or above the entry is
// handled here (null); otherwise the entry's row, when it has one, and the record to
// fill for it (null without a database).
std::unique_ptr<KeyedChange> CatalogEntryChange(LedgerContext& context,
                                                const BrumevaleRegistryEvent& event,
                                                ChangeRecords& records) {
  if (event.Operation() == kRegistryKeyDeleted) {
    HandleKeyDeletion(context, event, records);
    return nullptr;
  }
  return LookUpKeyedChange(context, event, LoadPointUserId(event));
}

}  // namespace

void HandleNameSpaceCatalogEvent(LedgerContext& context, const BrumevaleRegistryEvent& event,
                                 ChangeRecords& records) {
  std::unique_ptr<KeyedChange> change = CatalogEntryChange(context, event, records);
  if (change == nullptr) return;
  const uint32_t code = event.MatcherCode();
  const std::u16string& data = event.GetValueText(0);
  if (event.Operation() == kRegistryValueDeleted) {
    NameSpaceValueDeleted(*change, code);
  } else if (event.Operation() == kRegistryValueSet) {
    if (IsDisplayStringCode(code)) {
      // A display string alone adds nothing: the entry is added when its library is seen.
      RenameKeyedRow(*change, data);
    } else {
      NameSpaceLibrarySet(context, event, *change, data);
    }
  }
  Finish(*change, records);
}

void HandleProtocolCatalogEvent(LedgerContext& context, const BrumevaleRegistryEvent& event,
                                ChangeRecords& records) {
  std::unique_ptr<KeyedChange> change = CatalogEntryChange(context, event, records);
  if (change == nullptr) return;
  if (event.Operation() == kRegistryValueDeleted && change->HasRow()) {
    DeleteKeyedRow(*change, u"");
  } else if (event.Operation() == kRegistryValueSet) {
    // Data too short to be a catalog item names no provider. The rescan ignores such
    // an entry and so removes its row; the live path concludes the same at once, so
    // that the two never disagree about it: nothing is added, an existing row goes.
    PackedCatalogItem item;
    if (DecodePackedCatalogItem(event.RawData(), item)) {
      ProtocolItemSet(context, *change, item);
    } else if (change->HasRow()) {
      DeleteKeyedRow(*change, u"");
    }
  }
  Finish(*change, records);
}

}  // namespace Families
