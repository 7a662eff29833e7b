// Record operations on the additive table UserNames: the account name the service
// found for a user's SID, so that a copied record read elsewhere still names its
// users. The table is created here, on first use, beside the fixed ones.

#include "database/load_point_database.h"

namespace Database {

int32_t LoadPointDatabase::AddUserNameEntry(std::u16string_view sid, std::u16string_view name,
                                            std::u16string_view since) {
  if (!Execute("CREATE TABLE IF NOT EXISTS UserNames (SID VARCHAR PRIMARY KEY COLLATE NOCASE, NAME VARCHAR, "
               "SINCE VARCHAR)",
               "AddUserNameEntry", false)) {
    return 0;
  }
  // A row only for a SID not yet known or known by another name.
  SqlText sql("INSERT INTO UserNames (SID, NAME, SINCE) VALUES (");
  sql.Text(sid).Raw(", ").Text(name).Raw(", ").Text(since);
  sql.Raw(") ON CONFLICT (SID) DO UPDATE SET NAME = excluded.NAME, SINCE = excluded.SINCE "
          "WHERE NAME IS NOT excluded.NAME");
  return Change(sql, "AddUserNameEntry");
}

}  // namespace Database
