// The schema of Brumevale.data, one statement per step in the order they run.
//
// A CREATE TABLE creates a table only when it is missing; the ALTER and CREATE INDEX
// steps after it bring a file from an earlier release up to date and fail as a
// matter of course on every later open, so their failures are ignored. Index names
// are shared by the whole file: the second LP_TYPE_INDEX and LP_KEY_INDEX steps
// never create anything. The DROP step is not valid SQL and so never touches a
// file; a LoadPoints table that still has QUARANTINE_KEY is converted on its own
// before the steps run (legacy_schema.cpp).

#include <cstdio>

#include <sqlite3.h>

#include "database/load_point_database.h"

namespace Database {

namespace {

struct SchemaStep {
  const char* sql;
  const char* table;  // set for a CREATE TABLE: its failure ends CreateTables
};

constexpr SchemaStep kSchema[] = {
    {"CREATE TABLE IF NOT EXISTS LoadPoints (KEY INTEGER PRIMARY KEY AUTOINCREMENT, "
     "LP_TYPE INTEGER, USER_ID VARCHAR, ENTRY_NAME VARCHAR, COMMAND_LINE VARCHAR, "
     "CHANGE_EVENT_KEY INTEGER, CREATION_TIME DATE, INDIRECTION_KEY INTEGER)",
     "LoadPoints"},
    {"ALTER TABLE LoadPoints DROP QUARANTINE_KEY INTEGER", nullptr},
    {"ALTER TABLE LoadPoints ADD DISPLAY_NAME VARCHAR", nullptr},
    {"CREATE INDEX LP_TYPE_INDEX ON LoadPoints (LP_TYPE)", nullptr},
    {"CREATE TABLE IF NOT EXISTS ChangeEvents (KEY INTEGER PRIMARY KEY AUTOINCREMENT, "
     "EVENT_TIME VARCHAR, PROCESS_ENTRY_KEY INTEGER, LOAD_POINT_KEY INTEGER)",
     "ChangeEvents"},
    {"ALTER TABLE ChangeEvents ADD EVENT_TYPE INTEGER", nullptr},
    {"CREATE TABLE IF NOT EXISTS Processes (KEY INTEGER PRIMARY KEY AUTOINCREMENT, "
     "PROCESS_PATH VARCHAR, PROCESS_FILE_NAME VARCHAR, FILE_SIZE VARCHAR, FILE_CREATED VARCHAR, "
     "FILE_MODIFIED VARCHAR, FILE_ACCESSED VARCHAR, VERSION VARCHAR, DESCRIPTION VARCHAR, "
     "COPYRIGHT VARCHAR, COMMENTS VARCHAR, COMPANY_NAME VARCHAR, INTERNAL_NAME VARCHAR, "
     "LEGAL_TRADEMARKS VARCHAR, ORIGINAL_FILE_NAME VARCHAR, PRODUCT_NAME VARCHAR, "
     "PRODUCT_VERSION VARCHAR, BROWSER_PROCESS VARCHAR, DIGITAL_SIGNATURE_KEY INTEGER)",
     "Processes"},
    {"ALTER TABLE Processes ADD DOWNLOAD_DATA VARCHAR", nullptr},
    {"CREATE TABLE IF NOT EXISTS Indirection (KEY INTEGER PRIMARY KEY AUTOINCREMENT, "
     "LP_KEY INTEGER UNIQUE, ENTRY_NAME VARCHAR, COMMAND_LINE VARCHAR)",
     "Indirection"},
    {"CREATE INDEX LP_KEY_INDEX ON Indirection (LP_KEY)", nullptr},
    {"CREATE TABLE IF NOT EXISTS DigitalSignatures (KEY INTEGER PRIMARY KEY AUTOINCREMENT, "
     "SIGNER_NAME VARCHAR, SIGNER_EMAIL VARCHAR, SIGNED_TIME VARCHAR, VALID VARCHAR, "
     "COUNTER_SIGNER_KEY INTEGER)",
     "DigitalSignatures"},
    {"CREATE TABLE IF NOT EXISTS Quarantine (KEY INTEGER PRIMARY KEY AUTOINCREMENT, "
     "OLD_LP_KEY INTEGER UNIQUE, LP_TYPE INTEGER, USER_ID VARCHAR, ENTRY_NAME VARCHAR, "
     "COMMAND_LINE VARCHAR, DISPLAY_NAME VARCHAR, CHANGE_EVENT_KEY INTEGER, CREATION_TIME DATE, "
     "INDIRECTION_NAME VARCHAR, INDIRECTION_COMMAND_LINE VARCHAR, QUARANTINE_TIME DATE, "
     "RESTORE_GUID VARCHAR, REASON INTEGER, RESTORE_TARGET_PATH VARCHAR)",
     "Quarantine"},
    {"CREATE INDEX LP_TYPE_INDEX ON Quarantine (LP_TYPE)", nullptr},
    {"CREATE TABLE IF NOT EXISTS NotifyList (KEY INTEGER PRIMARY KEY, NOTIFY_KEYS VARCHAR)",
     "NotifyList"},
    {"CREATE TABLE IF NOT EXISTS Notify (KEY INTEGER PRIMARY KEY AUTOINCREMENT, "
     "LIST_KEY INTEGER, NOTIFY_TYPE INTEGER, NOTIFY_TIME DATE, INFO VARCHAR)",
     "Notify"},
    {"CREATE TABLE IF NOT EXISTS SystemSetting (KEY INTEGER PRIMARY KEY AUTOINCREMENT, "
     "TYPE INTEGER, USER_ID VARCHAR, PATH VARCHAR, CURRENT_VALUE VARCHAR, "
     "CHANGE_EVENT_KEY INTEGER)",
     "SystemSetting"},
    {"CREATE TABLE IF NOT EXISTS FileExtension (KEY INTEGER PRIMARY KEY AUTOINCREMENT, "
     "TYPE INTEGER, USER_ID VARCHAR, ENTRY_ID VARCHAR, VERB VARCHAR, ENTRY_VALUE VARCHAR, "
     "CHANGE_EVENT_KEY INTEGER)",
     "FileExtension"},
    {"CREATE INDEX ENTRY_ID_INDEX ON FileExtension (ENTRY_ID)", nullptr},
    {"CREATE TABLE IF NOT EXISTS ExtendedEvent (KEY INTEGER PRIMARY KEY AUTOINCREMENT, "
     "CHANGE_EVENT_KEY INTEGER UNIQUE, EX_EVENT_TYPE INTEGER, PARAM_0 VARCHAR, PARAM_1 VARCHAR, "
     "PARAM_2 VARCHAR, PARAM_3 VARCHAR, PARAM_4 VARCHAR, PARAM_5 VARCHAR)",
     "ExtendedEvent"},
    {"CREATE INDEX CHANGE_EVENT_KEY_INDEX ON ExtendedEvent (CHANGE_EVENT_KEY)", nullptr},
    {"CREATE TABLE IF NOT EXISTS EvalReport (KEY INTEGER PRIMARY KEY, LP_KEY INTEGER, "
     "CHANGE_EVENT_KEY INTEGER, EVAL_RESULT INTEGER, ASR_RATING INTEGER, EVAL_TAGS VARCHAR)",
     "EvalReport"},
    {"ALTER TABLE EvalReport ADD VRESULT VARCHAR", nullptr},
    {"CREATE INDEX LP_KEY_INDEX ON EvalReport (LP_KEY)", nullptr},
    {"CREATE TABLE IF NOT EXISTS bv_state (KEY INTEGER PRIMARY KEY, STATE_TYPE INTEGER, "
     "VALUE_1 VARCHAR, VALUE_2 VARCHAR, VALUE_3 VARCHAR)",
     "bv_state"},
    {"CREATE TABLE IF NOT EXISTS Alert (KEY INTEGER PRIMARY KEY, ALERT_TYPE INTEGER, "
     "ALERT_TIME DATE, STR_VAL_1 VARCHAR, STR_VAL_2 VARCHAR, STR_VAL_3 VARCHAR, "
     "INT_VAL_1 INTEGER, INT_VAL_2 INTEGER, INT_VAL_3 INTEGER)",
     "Alert"},
    // Additive tables of this release; the fixed tables above stay as they are.
    // EventOrigin: see event_origin.h. UtcOffsets: the machine's offset from UTC in
    // minutes from the local time SINCE on (stored times are local text without one).
    {"CREATE TABLE IF NOT EXISTS EventOrigin (CHANGE_EVENT_KEY INTEGER PRIMARY KEY, "
     "ORIGIN INTEGER, STATE_CHANGE INTEGER)",
     "EventOrigin"},
    // The disables alone (few on any record), newest first by their event's key:
    // every addition asks whether its load point's last removal was one.
    {"CREATE INDEX DISABLED_EVENT_INDEX ON EventOrigin (STATE_CHANGE) WHERE STATE_CHANGE = 1", nullptr},
    {"CREATE TABLE IF NOT EXISTS UtcOffsets (KEY INTEGER PRIMARY KEY AUTOINCREMENT, "
     "SINCE VARCHAR, OFFSET_MINUTES INTEGER)",
     "UtcOffsets"},
};

}  // namespace

bool LoadPointDatabase::CreateTables() {
  // A failed conversion is in the log and is tried again at the next open. Until
  // then nothing else may change the file either, so that it stays as the earlier
  // release left it: the open fails as for a table that cannot be created.
  if (!ConvertLegacyLoadPoints()) return false;
  for (const SchemaStep& step : kSchema) {
    if (!RunSchemaStep(step.sql, step.table != nullptr ? step.table : "")) return false;
  }
  schemaReady_ = true;
  return true;
}

bool LoadPointDatabase::RunSchemaStep(const char* sql, std::string_view table) {
  char* message = nullptr;
  const int rc = db_.IsOpen() ? sqlite3_exec(db_.Handle(), sql, nullptr, nullptr, &message) : SQLITE_MISUSE;
  if (rc == SQLITE_OK) return true;
  if (table.empty()) {
    sqlite3_free(message);
    return true;
  }
  if (message == nullptr) message = sqlite3_mprintf("%s", sqlite3_errstr(rc));
  ReportSqlError("CreateTables", message, true, table);
  return false;
}

}  // namespace Database
