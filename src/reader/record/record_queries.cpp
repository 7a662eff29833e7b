// The two paged queries of the record. A page is "rows with KEY > ?1, by KEY, at
// most ?2": each page is one short read transaction, and a reader that stops
// anywhere can go on from the last key it saw.

#include <initializer_list>

#include "reader/record/record_schema.h"

namespace Reader {
namespace {

struct Source {
  const char* table;
  const char* alias;
};
constexpr Source kEvent{"ChangeEvents", "c"}, kExtended{"ExtendedEvent", "e"},
    kPoint{"LoadPoints", "l"}, kSetting{"SystemSetting", "s"}, kExtension{"FileExtension", "f"},
    kProcess{"Processes", "p"}, kSignature{"DigitalSignatures", "d"}, kIndirection{"Indirection", "i"},
    kOrigin{"EventOrigin", "o"};

std::string Columns(const RecordSchema& schema, const Source& source,
                    std::initializer_list<const char*> names) {
  std::string out;
  for (const char* name : names) out += ", " + schema.Column(source.table, source.alias, name);
  return out;
}

// The process and its signature: the same nine columns at the end of both queries.
std::string ProcessColumns(const RecordSchema& schema) {
  return Columns(schema, kProcess,
                 {"KEY", "PROCESS_PATH", "PROCESS_FILE_NAME", "VERSION", "COMPANY_NAME", "DOWNLOAD_DATA"}) +
         Columns(schema, kSignature, {"KEY", "SIGNER_NAME", "VALID"});
}

std::string ProcessJoins(const RecordSchema& schema, const std::string& processKey) {
  const std::string signatureKey = schema.Column("Processes", "p", "DIGITAL_SIGNATURE_KEY");
  return schema.Join("Processes", "LEFT JOIN Processes p ON p.KEY = " + processKey + " AND " +
                                      processKey + " > 0") +
         schema.Join("DigitalSignatures", "LEFT JOIN DigitalSignatures d ON d.KEY = " + signatureKey +
                                              " AND " + signatureKey + " > 0");
}

// How the event's change was learnt and whether it disabled or enabled a load point
// again: both NULL (a driver's event, no state change) where there is no row, or no
// table in an older file.
std::string OriginColumns(const RecordSchema& schema) {
  return Columns(schema, kOrigin, {"ORIGIN", "STATE_CHANGE"});
}

std::string OriginJoin(const RecordSchema& schema) {
  return schema.Join("EventOrigin", "LEFT JOIN EventOrigin o ON o.CHANGE_EVENT_KEY = c.KEY");
}

}  // namespace

std::string RecordSchema::EventQuery() const {
  // Without EVENT_TYPE (the oldest layout) every event was a load point's.
  const std::string type = "COALESCE(" + Column("ChangeEvents", "c", "EVENT_TYPE") + ", 0)";
  const std::string target = Column("ChangeEvents", "c", "LOAD_POINT_KEY");
  return "SELECT c.KEY" + Columns(*this, kEvent, {"EVENT_TIME", "EVENT_TYPE", "PROCESS_ENTRY_KEY", "LOAD_POINT_KEY"}) +
         Columns(*this, kExtended, {"EX_EVENT_TYPE", "PARAM_0", "PARAM_1", "PARAM_2", "PARAM_3", "PARAM_4", "PARAM_5"}) +
         Columns(*this, kPoint, {"LP_TYPE", "ENTRY_NAME", "USER_ID", "COMMAND_LINE"}) +
         Columns(*this, kSetting, {"TYPE", "USER_ID", "PATH", "CURRENT_VALUE"}) +
         Columns(*this, kExtension, {"USER_ID", "ENTRY_ID", "VERB", "ENTRY_VALUE"}) + ProcessColumns(*this) +
         OriginColumns(*this) + Columns(*this, kPoint, {"DISPLAY_NAME"}) +
         " FROM ChangeEvents c" +
         Join("ExtendedEvent", "LEFT JOIN ExtendedEvent e ON e.CHANGE_EVENT_KEY = c.KEY") +
         " LEFT JOIN LoadPoints l ON l.KEY = " + target + " AND " + type + " IN (0, 1, 2, 13)" +
         Join("SystemSetting", "LEFT JOIN SystemSetting s ON s.KEY = " + target + " AND " + type + " = 7") +
         Join("FileExtension", "LEFT JOIN FileExtension f ON f.KEY = " + target + " AND " + type + " = 8") +
         ProcessJoins(*this, Column("ChangeEvents", "c", "PROCESS_ENTRY_KEY")) + OriginJoin(*this) +
         " WHERE c.KEY > ?1 ORDER BY c.KEY LIMIT ?2";
}

std::string RecordSchema::LoadPointQuery() const {
  const std::string eventKey = Column("LoadPoints", "l", "CHANGE_EVENT_KEY");
  const std::string indirectionKey = Column("LoadPoints", "l", "INDIRECTION_KEY");
  return "SELECT l.KEY" +
         Columns(*this, kPoint, {"LP_TYPE", "USER_ID", "ENTRY_NAME", "COMMAND_LINE", "DISPLAY_NAME",
                                 "CREATION_TIME", "CHANGE_EVENT_KEY"}) +
         Columns(*this, kIndirection, {"ENTRY_NAME", "COMMAND_LINE"}) +
         Columns(*this, kEvent, {"EVENT_TIME", "PROCESS_ENTRY_KEY"}) + ProcessColumns(*this) +
         OriginColumns(*this) + Columns(*this, kExtended, {"EX_EVENT_TYPE", "PARAM_4"}) +
         " FROM LoadPoints l" +
         Join("Indirection", "LEFT JOIN Indirection i ON i.KEY = " + indirectionKey + " AND " +
                                 indirectionKey + " > 0") +
         " LEFT JOIN ChangeEvents c ON c.KEY = " + eventKey + " AND " + eventKey + " > 0" +
         ProcessJoins(*this, Column("ChangeEvents", "c", "PROCESS_ENTRY_KEY")) + OriginJoin(*this) +
         Join("ExtendedEvent", "LEFT JOIN ExtendedEvent e ON e.CHANGE_EVENT_KEY = c.KEY") +
         " WHERE l.KEY > ?1 ORDER BY l.KEY LIMIT ?2";
}

}  // namespace Reader
