// Lookups by identity come from memory; they must give what the table's query
// gives, also after deletes, rollbacks and writes by another connection.

#include "database_fixture.h"

namespace Database {

namespace {

class LoadPointIndexTest : public DatabaseTest {
 protected:
  // Keys of the rows a lookup returns, in their order.
  static std::vector<int32_t> KeysOf(const LoadPointRows& rows) {
    std::vector<int32_t> keys;
    for (uint32_t row = 0; row < rows.Count(); ++row) keys.push_back(rows.KEY(row));
    return keys;
  }
  static std::vector<int32_t> Keys(LoadPointDatabase& db, int32_t type, std::u16string_view user,
                                   std::u16string_view name) {
    LoadPointRows rows;
    db.FindLoadPointEntry(type, user, name, rows);
    return KeysOf(rows);
  }
  static std::vector<int32_t> ServiceKeys(LoadPointDatabase& db, std::u16string_view user,
                                          std::u16string_view name) {
    LoadPointRows rows;
    db.FindServiceEntry(user, name, rows);
    return KeysOf(rows);
  }
  // Another connection's write.
  void Write(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(HostPath(DataPath()).c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  using Keys_ = std::vector<int32_t>;
};

TEST_F(LoadPointIndexTest, IdentityIsExactAndSharedIdentitiesComeInKeyOrder) {
  auto db = OpenNew();
  const int32_t first = db->AddLoadPointEntry(1, u"", u"Agent", u"a.exe", u"");
  const int32_t user = db->AddLoadPointEntry(1, u"S-1-5-21", u"Agent", u"b.exe", u"");
  const int32_t twin = db->AddLoadPointEntry(1, u"", u"Agent", u"c.exe", u"");
  const int32_t quoted = db->AddLoadPointEntry(1, u"", u"It's \u00e9t\u00e9 \U0001F600", u"d.exe", u"");
  EXPECT_EQ(Keys(*db, 1, u"", u"Agent"), (Keys_{first, twin}));
  EXPECT_EQ(Keys(*db, 1, u"S-1-5-21", u"Agent"), (Keys_{user}));
  EXPECT_EQ(Keys(*db, 1, u"", u"AGENT"), Keys_{}) << "letter case counts, as in SQL";
  EXPECT_EQ(Keys(*db, 2, u"", u"Agent"), Keys_{});
  EXPECT_EQ(Keys(*db, 1, u"", u"It's \u00e9t\u00e9 \U0001F600"), (Keys_{quoted}));
  db->DeleteLoadPoint(first);
  EXPECT_EQ(Keys(*db, 1, u"", u"Agent"), (Keys_{twin}));
  // Services, their DLLs and drivers share one name space.
  const int32_t driver = db->AddLoadPointEntry(29, u"ControlSet001", u"Svc", u"d.sys", u"");
  const int32_t service = db->AddLoadPointEntry(12, u"ControlSet001", u"Svc", u"s.exe", u"");
  db->AddLoadPointEntry(1, u"ControlSet001", u"Svc", u"other.exe", u"");
  EXPECT_EQ(ServiceKeys(*db, u"ControlSet001", u"Svc"), (Keys_{driver, service}));
}

TEST_F(LoadPointIndexTest, RowsOfAnotherConnectionAndOfARollbackAreSeenAsTheFileHasThem) {
  auto db = OpenNew();
  const int32_t kept = db->AddLoadPointEntry(1, u"", u"Kept", u"k.exe", u"");
  EXPECT_EQ(Keys(*db, 1, u"", u"Kept"), (Keys_{kept}));  // the index is read here
  Write("INSERT INTO LoadPoints (LP_TYPE, USER_ID, ENTRY_NAME) VALUES (1, '', 'Foreign')");
  Write("DELETE FROM LoadPoints WHERE KEY = " + std::to_string(kept));
  EXPECT_EQ(Keys(*db, 1, u"", u"Foreign").size(), 1u);
  EXPECT_EQ(Keys(*db, 1, u"", u"Kept"), Keys_{});

  ASSERT_TRUE(db->BeginTransaction());
  const int32_t undone = db->AddLoadPointEntry(1, u"", u"Undone", u"u.exe", u"");
  EXPECT_EQ(Keys(*db, 1, u"", u"Undone"), (Keys_{undone}));
  EXPECT_TRUE(db->RollbackTransaction());
  EXPECT_EQ(Keys(*db, 1, u"", u"Undone"), Keys_{});
  // The undone key is taken again by the next row; the old name must not find it.
  const int32_t next = db->AddLoadPointEntry(1, u"", u"Next", u"n.exe", u"");
  EXPECT_EQ(next, undone);
  EXPECT_EQ(Keys(*db, 1, u"", u"Undone"), Keys_{});
  EXPECT_EQ(Keys(*db, 1, u"", u"Next"), (Keys_{next}));
}

TEST_F(LoadPointIndexTest, AFailedWriteInABatchRollsItBackAndRefusesTheRestOfItsEvent) {
  auto db = OpenNew();
  const int32_t before = db->AddLoadPointEntry(1, u"", u"Before", u"b.exe", u"");
  db->OpenBatch();
  EXPECT_GT(db->AddLoadPointEntry(1, u"", u"Undone", u"u.exe", u""), 0);
  EXPECT_EQ(db->AddNotifyListEntry(before), -1);  // the list exists already
  EXPECT_EQ(db->AddChangeEventEntry(before, 0, 1), -1) << "a write after the failure of its event";
  db->EndBatchEvent();
  EXPECT_GT(db->AddChangeEventEntry(before, 0, 1), 0);
  EXPECT_TRUE(db->CloseBatch());
  EXPECT_EQ(Keys(*db, 1, u"", u"Undone"), Keys_{});
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM LoadPoints"), (SqlRows{{"1"}}));
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM ChangeEvents"), (SqlRows{{"1"}}));
  EXPECT_TRUE(db->BeginTransaction()) << "the connection was left in a transaction";
  EXPECT_TRUE(db->EndTransaction());
}

}  // namespace

}  // namespace Database
