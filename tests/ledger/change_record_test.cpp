#include <gtest/gtest.h>

#include "ledger/change_record.h"

namespace Ledger {

namespace {

TEST(ChangeRecords, SettersFillTheParametersAndKindsMapToEventTypes) {
  LoadPointExtEventData shown;
  shown.SetAdded(u"C", u"Shown");
  shown.SetLoadPoint(1, u"Name", u"");
  EXPECT_EQ(shown.extendedEventType, kExtendedAdded);
  EXPECT_EQ(shown.GetParam(0), u"1");
  EXPECT_EQ(shown.GetParam(1), u"Shown");  // the display name outlives SetLoadPoint
  EXPECT_EQ(shown.GetParam(4), u"C");

  ChangeRecord fresh(9);
  EXPECT_EQ(fresh.kind, kChangeKindNone);
  fresh.extendedData->SetLoadPoint(16, u"Name", u"S");
  EXPECT_EQ(fresh.extendedData->GetParam(1), u"Name");
  EXPECT_EQ(fresh.extendedData->GetParam(2), u"S");
  EXPECT_EQ(fresh.extendedData->extendedEventType, 0u);

  LoadPointExtEventData renamed;
  renamed.SetNameChanged(u"New", u"Old");
  EXPECT_EQ(renamed.extendedEventType, kExtendedNameChanged);
  EXPECT_EQ(renamed.GetParam(1), u"New");
  EXPECT_EQ(renamed.GetParam(4), u"New");
  EXPECT_EQ(renamed.GetParam(5), u"Old");

  LoadPointExtEventData changed;
  changed.SetChanged(u"new", u"old", u"");
  changed.SetDeleted(u"gone", u"");
  EXPECT_EQ(changed.extendedEventType, kExtendedDeleted);
  EXPECT_EQ(changed.GetParam(4), u"gone");
  EXPECT_EQ(changed.GetParam(1), u"");  // an empty alternative name stores nothing

  EXPECT_EQ(EventTypeOfChangeKind(kChangeKindAdded), kEventLoadPointAdded);
  EXPECT_EQ(EventTypeOfChangeKind(kChangeKindChanged), kEventLoadPointChanged);
  EXPECT_EQ(EventTypeOfChangeKind(kChangeKindDeleted), kEventLoadPointRemoved);
  EXPECT_EQ(EventTypeOfChangeKind(kChangeKindNone), 0u);
}

}  // namespace

}  // namespace Ledger
