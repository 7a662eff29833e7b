#include "database_fixture.h"

namespace Database {

namespace {

class RecordTest : public DatabaseTest {
 protected:
  void SetUp() override { db_ = OpenNew(); }
  std::unique_ptr<LoadPointDatabase> db_;
};

TEST_F(RecordTest, LoadPointTextRoundTripsUnchanged) {
  const std::u16string name = u"O'Brien \u00e4\u20ac\U0001F600";
  const int32_t key = db_->AddLoadPointEntry(16, u"S-1-5-21", name, u"'c:\\a b.exe' -x", u"''");
  ASSERT_GT(key, 0);
  LoadPointRows rows;
  ASSERT_EQ(db_->FindLoadPointEntry(16, u"S-1-5-21", name, rows), 1);
  EXPECT_EQ(rows.KEY(0), key);
  EXPECT_EQ(rows.ENTRY_NAME(0), name);
  EXPECT_EQ(rows.COMMAND_LINE(0), u"'c:\\a b.exe' -x");
  EXPECT_EQ(rows.DISPLAY_NAME(0), u"''");
  EXPECT_EQ(rows.CHANGE_EVENT_KEY(0), 0);
  EXPECT_EQ(rows.INDIRECTION_KEY(0), 0);
  EXPECT_EQ(rows.CREATION_TIME(0).size(), 19u);
  // Stored as the service's own UTF-8: two bytes, three bytes, and each surrogate on its own.
  EXPECT_EQ(Sql("SELECT hex(ENTRY_NAME) FROM LoadPoints")[0][0],
            "4F27427269656E20C3A4E282ACEDA0BDEDB880");
  // Every load point owns an empty notification list under its own key.
  NotifyListRows list;
  ASSERT_EQ(db_->FindNotifyListEntry(key, list), 1);
  EXPECT_EQ(list.NOTIFY_KEYS(0), u"");
  EXPECT_EQ(db_->FindLoadPointEntry(16, u"s-1-5-21", name, rows), 0) << "user ids match exactly";
}

TEST_F(RecordTest, LoadPointUpdatesAndRequests) {
  const int32_t service = db_->AddLoadPointEntry(12, u"ControlSet001", u"Svc", u"svc.exe", u"");
  const int32_t run = db_->AddLoadPointEntry(1, u"", u"Run", u"run.exe", u"");
  const int32_t driver = db_->AddLoadPointEntry(29, u"ControlSet001", u"Drv", u"drv.sys", u"");
  EXPECT_EQ(db_->UpdateLoadPointEntry(service, 9), 1);
  EXPECT_EQ(db_->UpdateLoadPointEntry(service, u"svc2.exe"), 1);
  EXPECT_EQ(db_->UpdateLoadPointDisplayName(service, u"Service"), 1);
  EXPECT_EQ(db_->UpdateLoadPointEntry(999, 1), 1) << "no matching row is still success";

  LoadPointRows found;
  ASSERT_EQ(db_->FindServiceEntry(u"ControlSet001", u"Svc", found), 1);
  EXPECT_EQ(found.CHANGE_EVENT_KEY(0), 9);
  EXPECT_EQ(found.COMMAND_LINE(0), u"svc2.exe");
  EXPECT_EQ(found.DISPLAY_NAME(0), u"Service");
  LoadPointRows drivers;
  EXPECT_EQ(db_->FindServiceEntry(u"ControlSet001", u"Drv", drivers), 1);
  LoadPointRows none;
  EXPECT_EQ(db_->FindServiceEntry(u"", u"Run", none), 0);

  LoadPointRows keys;
  ASSERT_EQ(db_->RequestLoadPointEntries(keys, true, run), 1);
  ASSERT_EQ(keys.Count(), 2u);
  EXPECT_EQ(keys.KEY(0), run);
  EXPECT_EQ(keys.KEY(1), driver);
  EXPECT_EQ(keys.LP_TYPE(1), 29);
  EXPECT_EQ(keys.USER_ID(1), u"ControlSet001");
  EXPECT_EQ(keys.ENTRY_NAME(1), u"");
  EXPECT_EQ(keys.COMMAND_LINE(1), u"");
  LoadPointRows ofType;
  ASSERT_EQ(db_->RequestLoadPointEntries(12, ofType), 1);
  EXPECT_EQ(ofType.Count(), 1u);
  EXPECT_EQ(db_->RequestLoadPointEntries(64, ofType), 0);

  std::set<int32_t> all{-5};
  EXPECT_TRUE(db_->RequestKeysFromTable(all, u"LoadPoints"));
  EXPECT_EQ(all, (std::set<int32_t>{-5, service, run, driver}));
  EXPECT_TRUE(db_->RequestKeysFromTable(all, u"FileExtension")) << "no rows is still success";
}

TEST_F(RecordTest, IndirectionFollowsItsLoadPointAndDeleteRemovesEverything) {
  const int32_t lp = db_->AddLoadPointEntry(40, u"", u"{CLSID}", u"", u"");
  const int32_t indirection = db_->AddIndirectionEntry(lp, u"InprocServer32", u"a.dll");
  ASSERT_GT(indirection, 0);
  LoadPointRows rows;
  db_->FindLoadPointEntry(lp, rows);
  EXPECT_EQ(rows.INDIRECTION_KEY(0), indirection);
  EXPECT_EQ(db_->UpdateIndirectionEntry(indirection, u"LocalServer32", u"b.exe"), 1);
  EXPECT_EQ(db_->UpdateIndirectionEntryCommandLine(indirection, u"c.exe"), 1);
  IndirectionRows byLp, byKey;
  ASSERT_EQ(db_->FindIndirectionEntry(lp, byLp), 1);
  ASSERT_EQ(db_->FindIndirectionEntryByKey(indirection, byKey), 1);
  EXPECT_EQ(byLp.KEY(0), indirection);
  EXPECT_EQ(byKey.LP_KEY(0), lp);
  EXPECT_EQ(byKey.ENTRY_NAME(0), u"LocalServer32");
  EXPECT_EQ(byKey.COMMAND_LINE(0), u"c.exe");
  IndirectionRows none;
  EXPECT_EQ(db_->FindIndirectionEntryByKey(lp + 100, none), 0);

  db_->AddNotifyEntry(lp, 3, u"touched");
  db_->DeleteLoadPoint(lp);
  for (const char* table : {"LoadPoints", "Indirection", "NotifyList", "Notify"}) {
    EXPECT_EQ(Sql(std::string("SELECT COUNT(*) FROM ") + table)[0][0], "0") << table;
  }
  db_->DeleteLoadPoint(lp);  // nothing left to delete
  const int32_t other = db_->AddLoadPointEntry(40, u"", u"x", u"", u"");
  const int32_t second = db_->AddIndirectionEntry(other, u"n", u"c");
  EXPECT_EQ(db_->RemoveIndirectionEntry(second), 1);
  EXPECT_EQ(db_->RemoveLoadPointsIndirectionEntry(other), 1);
  EXPECT_GT(other, lp) << "keys are never reused";
}

TEST_F(RecordTest, ChangeEventsAndTheirExtendedRows) {
  const int32_t now = db_->AddChangeEventEntry(7, 3, 13);
  const int32_t given = db_->AddChangeEventEntry(u"05/01/2024 10:00:00", 8, 4, 2);
  ASSERT_GT(now, 0);
  ASSERT_GT(given, now);
  const SqlRows events = Sql(
      "SELECT length(EVENT_TIME), PROCESS_ENTRY_KEY, LOAD_POINT_KEY, EVENT_TYPE FROM ChangeEvents "
      "ORDER BY KEY");
  EXPECT_EQ(events, (SqlRows{{"19", "3", "7", "13"}, {"19", "4", "8", "2"}}));
  EXPECT_EQ(Sql("SELECT EVENT_TIME FROM ChangeEvents WHERE KEY = " + std::to_string(given)),
            (SqlRows{{"05/01/2024 10:00:00"}}));

  ExtendedEventData data;
  data.changeEventKey = given;
  data.extendedEventType = 2;
  data.SetParam(0, u"16");
  data.SetParam(4, u"it's new");
  data.SetParam(6, u"never stored");
  EXPECT_EQ(data.GetParam(-1), u"never stored");
  EXPECT_EQ(db_->AddExtendedEventEntry(data), 1);
  EXPECT_EQ(Sql("SELECT * FROM ExtendedEvent"),
            (SqlRows{{"1", std::to_string(given), "2", "16", "", "", "", "it's new", ""}}));
  EXPECT_EQ(db_->AddExtendedEventEntry(data), 0) << "one extended row per change event";
}

// Two writers of one event's EventOrigin row (how it was learnt, whether it
// disabled something) each add their half.
TEST_F(RecordTest, EventOriginWritesOfOneEventMerge) {
  EXPECT_EQ(db_->AddEventOriginEntry(5, ChangeOrigin::kDriver), 0);
  EXPECT_EQ(db_->AddEventOriginEntry(5, ChangeOrigin::kRescan), 5);
  EXPECT_EQ(db_->AddEventOriginEntry(5, ChangeOrigin::kDriver, LoadPointStateChange::kDisabled), 5);
  EXPECT_EQ(db_->AddEventOriginEntry(6, ChangeOrigin::kDriver, LoadPointStateChange::kEnabledAgain), 6);
  EXPECT_EQ(Sql("SELECT * FROM EventOrigin ORDER BY CHANGE_EVENT_KEY"),
            (SqlRows{{"5", "1", "1"}, {"6", "0", "2"}}));
}

// The newest removal of a load point decides, found by its type (or its type's
// group), its user and any of the names its removal may carry, letter case aside;
// removals of other load points, disables among them, change nothing.
TEST_F(RecordTest, LastRemovalOfALoadPointTellsWhetherItWasADisable) {
  auto removal = [&](const char16_t* type, const char16_t* name, const char16_t* user,
                     LoadPointStateChange state) {
    const int32_t key = db_->AddChangeEventEntry(1, 0, 2);
    ExtendedEventData data;
    data.changeEventKey = key;
    data.extendedEventType = 4;
    data.SetParam(0, type);
    data.SetParam(1, name);
    data.SetParam(2, user);
    ASSERT_EQ(db_->AddExtendedEventEntry(data), 1);
    db_->AddEventOriginEntry(key, ChangeOrigin::kDriver, state);
  };
  const std::vector<int32_t> services = {12, 29};
  const std::vector<std::u16string> names = {u"foo", u"Foo Service"};
  const auto disabled = [&] { return db_->FindLastRemovalDisabled(services, u"ControlSet001", names); };
  EXPECT_EQ(disabled(), 0);
  removal(u"12", u"Foo", u"ControlSet001", LoadPointStateChange::kNone);
  EXPECT_EQ(disabled(), 0);
  removal(u"12", u"FOO SERVICE", u"ControlSet001", LoadPointStateChange::kDisabled);
  removal(u"12", u"Foo", u"ControlSet002", LoadPointStateChange::kNone);  // another control set
  removal(u"1", u"Foo", u"ControlSet001", LoadPointStateChange::kNone);   // another type
  removal(u"12", u"Bar", u"ControlSet001", LoadPointStateChange::kNone);  // another name
  EXPECT_EQ(disabled(), 1);
  removal(u"29", u"Foo", u"ControlSet001", LoadPointStateChange::kNone);
  EXPECT_EQ(disabled(), 0);
  removal(u"12", u"Bar", u"ControlSet001", LoadPointStateChange::kDisabled);  // another's disable
  EXPECT_EQ(disabled(), 0);
  removal(u"29", u"foo", u"ControlSet001", LoadPointStateChange::kDisabled);
  EXPECT_EQ(disabled(), 1);
}

TEST_F(RecordTest, SystemSettingUpdatesWriteOnlyWhatIsGiven) {
  const int32_t key = db_->AddSystemSetting(2, u"S-1-5-21", u"SOFTWARE\\Policies", u"0");
  ASSERT_GT(key, 0);
  const std::string select = "SELECT CHANGE_EVENT_KEY, CURRENT_VALUE FROM SystemSetting";
  EXPECT_EQ(Sql(select), (SqlRows{{"0", "0"}}));
  EXPECT_EQ(db_->UpdateSystemSettingEntry(key, -1), 0);
  EXPECT_EQ(db_->UpdateSystemSettingEntry(key, 7), 1);
  EXPECT_EQ(Sql(select), (SqlRows{{"7", "0"}}));
  EXPECT_EQ(db_->UpdateSystemSettingEntry(key, u"1"), 1);
  EXPECT_EQ(Sql(select), (SqlRows{{"7", "1"}}));
  EXPECT_EQ(db_->UpdateSystemSettingEntry(key, 8, u"'2'"), 1);
  EXPECT_EQ(Sql(select), (SqlRows{{"8", "'2'"}}));
  SystemSettingRows rows;
  ASSERT_EQ(db_->FindSystemSetting(2, u"S-1-5-21", rows), 1);
  EXPECT_EQ(rows.KEY(0), key);
  EXPECT_EQ(rows.CURRENT_VALUE(0), u"'2'");
  EXPECT_EQ(rows.PATH(0), u"SOFTWARE\\Policies");
  EXPECT_EQ(db_->FindSystemSetting(2, u"", rows), 0);
}

TEST_F(RecordTest, FileExtensionTakesTheValueBeforeTheVerb) {
  const int32_t key = db_->AddFileExtenstionEntry(3, u"", u"exefile", u"\"%1\" %*", u"open");
  ASSERT_GT(key, 0);
  EXPECT_EQ(Sql("SELECT VERB, ENTRY_VALUE FROM FileExtension"), (SqlRows{{"open", "\"%1\" %*"}}));
  FileExtensionRows rows;
  ASSERT_EQ(db_->FindFileExtensionEntry(3, u"", u"exefile", u"open", rows), 1);
  EXPECT_EQ(rows.ENTRY_VALUE(0), u"\"%1\" %*");
  EXPECT_EQ(db_->UpdateFileExtensionEntry(key, 5, u"x.exe"), 1);
  EXPECT_EQ(db_->UpdateFileExtensionEntry(key, -1), 0);
  FileExtensionRows byKey;
  ASSERT_EQ(db_->FindFileExtensionEntry(key, byKey), 1);
  EXPECT_EQ(byKey.CHANGE_EVENT_KEY(0), 5);
  EXPECT_EQ(byKey.ENTRY_VALUE(0), u"x.exe");
  EXPECT_EQ(db_->RemoveFileExtensionEntry(key), 1);
  FileExtensionRows gone;
  EXPECT_EQ(db_->FindFileExtensionEntry(key, gone), 0);
}

TEST_F(RecordTest, ProcessRowsFromFileInformation) {
  FileInformation info;
  info.fullPath = u"c:\\program files\\o'app\\app.exe";
  info.fileName = u"app.exe";
  info.fileSizeLow = 1536;
  info.creationTime = u"05/01/2024 10:00:00";
  info.versionStrings[0] = u"1.0";
  info.versionStrings[9] = u"2.0";
  const int32_t signer = db_->AddDigitalSignatureEntry(u"Signer", u"a@b", u"t", 1);
  const int32_t key = db_->AddProcessEntry(info, signer, false);
  ASSERT_GT(key, 0);
  EXPECT_EQ(db_->AddDownloadDataToProcessFile(key, u"a\nb\nc"), 1);
  const SqlRows rows = Sql("SELECT * FROM Processes");
  ASSERT_EQ(rows.size(), 1u);
  const std::vector<std::string> expected = {
      std::to_string(key), "c:\\program files\\o'app\\app.exe", "app.exe",
      "1.50 KB", "05/01/2024 10:00:00", "", "", "1.0", "", "", "", "", "", "", "", "", "2.0",
      "N", std::to_string(signer), "a\nb\nc"};
  EXPECT_EQ(rows[0], expected);
  EXPECT_GT(db_->AddProcessEntry(FileInformation{}, 0, true), key);
  EXPECT_EQ(Sql("SELECT FILE_SIZE, BROWSER_PROCESS, DOWNLOAD_DATA FROM Processes WHERE KEY > " +
                std::to_string(key)),
            (SqlRows{{"0 bytes", "Y", ""}}));
}

TEST_F(RecordTest, SignatureChainsAreRemovedWhole) {
  const int32_t signer = db_->AddDigitalSignatureEntry(u"Signer", u"", u"", 0);
  const int32_t counter = db_->AddDigitalSignatureEntry(u"Stamp", u"", u"", 1);
  EXPECT_EQ(Sql("SELECT VALID, COUNTER_SIGNER_KEY FROM DigitalSignatures ORDER BY KEY"),
            (SqlRows{{"N", "0"}, {"Y", "0"}}));
  EXPECT_EQ(db_->UpdateDigitalSignatureEntry(signer, counter), 1);
  DigitalSignatureRows rows;
  ASSERT_EQ(db_->FindDigitalSignatureEntry(signer, rows), 1);
  EXPECT_EQ(rows.COUNTER_SIGNER_KEY(0), counter);
  EXPECT_EQ(rows.SIGNER_NAME(0), u"Signer");
  EXPECT_EQ(db_->RemoveDigitalSignatureEntry(signer), 1);
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM DigitalSignatures"), (SqlRows{{"0"}}));
  EXPECT_EQ(db_->RemoveDigitalSignatureEntry(signer), 0);

  const int32_t self = db_->AddDigitalSignatureEntry(u"Loop", u"", u"", 1);
  db_->UpdateDigitalSignatureEntry(self, self);
  EXPECT_EQ(db_->RemoveDigitalSignatureEntry(self), 1) << "a row naming itself ends the chain";
}

TEST_F(RecordTest, NotifyListsCollectTheirNotesInOrder) {
  const int32_t lp = db_->AddLoadPointEntry(1, u"", u"Run", u"run.exe", u"");
  const int32_t first = db_->AddNotifyEntry(lp, 1, u"first");
  const int32_t second = db_->AddNotifyEntry(lp, 2, u"it's second");
  NotifyListRows list;
  ASSERT_EQ(db_->FindNotifyListEntry(lp, list), 1);
  EXPECT_EQ(list.NOTIFY_KEYS(0), FromAnsi(FormatInt(first) + "," + FormatInt(second)));
  std::vector<int32_t> keys{99};
  EXPECT_TRUE(db_->ParseNotifyKeys(list, keys, 0));
  EXPECT_EQ(keys, (std::vector<int32_t>{99, first, second}));

  EXPECT_EQ(db_->AddNotifyKeyToNotifyList(lp + 50, first), 0);
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM NotifyList"), (SqlRows{{"1"}}));
  EXPECT_GT(db_->AddNotifyEntry(lp + 50, 1, u"listed nowhere"), second);

  EXPECT_EQ(db_->RemoveLoadPointsNotifyListEntry(lp), 1);
  EXPECT_EQ(Sql("SELECT INFO FROM Notify"), (SqlRows{{"listed nowhere"}}));
  EXPECT_EQ(db_->RemoveLoadPointsNotifyListEntry(lp), 0);
  EXPECT_EQ(db_->AddNotifyListEntry(lp), lp);
  NotifyListRows empty;
  db_->FindNotifyListEntry(lp, empty);
  std::vector<int32_t> none;
  EXPECT_FALSE(db_->ParseNotifyKeys(empty, none, 0));
  EXPECT_EQ(db_->AddNotifyListEntry(lp), -1) << "one list per load point";
}

}  // namespace

}  // namespace Database
