// An exporter that follows a service for days sends each page of new events as the
// machine's reader shows them then: a user's name the service notes after the
// exporter opened the record is in the events read once the service wrote more.

#include <filesystem>

#include <sqlite3.h>

#include "fleet/export/event_messages.h"
#include "fleet_fixture.h"

using namespace FleetTest;

namespace {

void Execute(const std::string& database, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

// The userName of every event message of a user, by the user's SID.
std::vector<std::string> UserNamesSent(const Fleet::EventPage& page) {
  std::vector<std::string> names;
  for (const Fleet::Outgoing& message : page.messages) {
    const nlohmann::json body = nlohmann::json::parse(message.data);
    if (body["user"].get<std::string>().rfind("S-1-5-21-", 0) == 0) names.push_back(body["userName"]);
  }
  return names;
}

}  // namespace

TEST(EventMessages, ANameNotedAfterTheExporterOpenedTheRecordIsSent) {
  TemporaryFolder folder;
  const std::string database = folder.String() + "/Brumevale.data";
  std::filesystem::copy_file(DemoMachines()[0].database, database);
  Execute(database, "CREATE TABLE Noted AS SELECT * FROM UserNames; DELETE FROM UserNames");
  Fleet::EventMessages messages({"LAB-07", "lab-07", "lab-07"});
  std::string error;
  ASSERT_TRUE(messages.Open(database, &error)) << error;
  Fleet::EventPage page;
  ASSERT_TRUE(messages.ReadPage(0, 100000, &page, &error)) << error;
  ASSERT_FALSE(UserNamesSent(page).empty());
  for (const std::string& name : UserNamesSent(page)) EXPECT_EQ(name, "");

  // Read again before the service wrote another event (a page sent again after a
  // failure): the same bytes, which the collector takes as a repeat.
  const std::vector<Fleet::Outgoing> first = page.messages;
  Execute(database, "INSERT INTO UserNames SELECT * FROM Noted");
  ASSERT_TRUE(messages.ReadPage(0, 100000, &page, &error)) << error;
  ASSERT_EQ(page.messages.size(), first.size());
  for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(page.messages[i].data, first[i].data);

  Execute(database, "CREATE TEMP TABLE Next AS SELECT * FROM ChangeEvents ORDER BY KEY DESC LIMIT 1; "
                    "UPDATE Next SET KEY = KEY + 1000; INSERT INTO ChangeEvents SELECT * FROM Next");
  ASSERT_TRUE(messages.ReadPage(0, 100000, &page, &error)) << error;
  for (const std::string& name : UserNamesSent(page)) EXPECT_EQ(name, "DESKTOP-7Q2M4LK\\maren");
}

// Every event message carries its two rows as the record holds them, the way the
// library prints them: text with quotes, backslashes, control characters, accents and
// broken UTF-8, a real, a blob, a large negative integer, a column of a later layout,
// and an event without an extended row.
TEST(EventMessages, TheRowsAreSentAsTheLibraryPrintsThem) {
  TemporaryFolder folder;
  const std::string database = folder.String() + "/Brumevale.data";
  std::filesystem::copy_file(DemoMachines()[0].database, database);
  const std::string nth = "(SELECT CHANGE_EVENT_KEY FROM ExtendedEvent ORDER BY CHANGE_EVENT_KEY LIMIT 1 OFFSET ";
  Execute(database, "ALTER TABLE ExtendedEvent ADD COLUMN EXTRA; "
                    "UPDATE ExtendedEvent SET PARAM_0 = 'say \"hi\" \\ C:\\x' || char(9, 1, 8, 12, 13, 10, 31, 127), "
                    "PARAM_1 = 'Zürich ✓', PARAM_2 = CAST(X'C3287A' AS TEXT), EXTRA = 2.5 "
                    "WHERE CHANGE_EVENT_KEY = " + nth + "0); "
                    "UPDATE ExtendedEvent SET EXTRA = X'00FF41' WHERE CHANGE_EVENT_KEY = " + nth + "1); "
                    "UPDATE ExtendedEvent SET EXTRA = -9007199254740993 WHERE CHANGE_EVENT_KEY = " + nth + "2); "
                    "DELETE FROM ExtendedEvent WHERE CHANGE_EVENT_KEY = " + nth + "3)");
  Fleet::EventMessages messages({"LAB-07", "lab-07", "lab-07"});
  std::string error;
  ASSERT_TRUE(messages.Open(database, &error)) << error;
  Fleet::EventPage page;
  ASSERT_TRUE(messages.ReadPage(0, 100000, &page, &error)) << error;
  ASSERT_FALSE(page.messages.empty());
  std::string all;
  for (size_t i = 0; i < page.messages.size(); ++i) {
    std::vector<Fleet::RawEvent> rows;
    ASSERT_TRUE(messages.Raw().ReadEventsByKey({page.keys[i]}, &rows, &error)) << error;
    ASSERT_EQ(rows.size(), 1u);
    nlohmann::json expected = nlohmann::json::parse(page.messages[i].data);
    expected["raw"] = {{"ChangeEvents", rows[0].changeEvent}, {"ExtendedEvent", rows[0].extendedEvent}};
    EXPECT_EQ(page.messages[i].data, expected.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    all += page.messages[i].data;
  }
  for (const char* sent : {"say \\\"hi\\\" \\\\ C:\\\\x\\t\\u0001\\b\\f\\r\\n\\u001f\x7f\"", "Zürich ✓", "\xEF\xBF\xBD(z",
                           "\"EXTRA\":2.5", "\"EXTRA\":\"\\u0000\xEF\xBF\xBD" "A\"", "-9007199254740993",
                           "\"ExtendedEvent\":null"})
    EXPECT_NE(all.find(sent), std::string::npos) << sent;
}
