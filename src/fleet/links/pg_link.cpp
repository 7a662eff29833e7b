#include "fleet/links/pg_link.h"

#include <libpq-fe.h>

namespace Fleet {

std::string FirstLine(const std::string& text) {
  const size_t end = text.find('\n');
  return end == std::string::npos ? text : text.substr(0, end);
}

bool ConninfoHasPassword(const std::string& conninfo) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  PQfreemem(error);
  bool has = false;
  for (PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr; ++o)
    has = has || (std::string(o->keyword) == "password" && o->val != nullptr && *o->val != '\0');
  PQconninfoFree(options);
  return has;
}

bool IsDataRefusal(const std::string& sqlState) {
  return (sqlState.rfind("22", 0) == 0 || sqlState.rfind("23", 0) == 0) && sqlState != "23505";
}

bool PgLink::Settle(PGresult* result, bool ok, std::string* error) {
  if (ok) {
    state_.clear();
    return true;
  }
  const char* state = result == nullptr ? nullptr : PQresultErrorField(result, PG_DIAG_SQLSTATE);
  state_ = state != nullptr && PQstatus(conn_) == CONNECTION_OK ? state : "08006";
  *error = "PostgreSQL: " + FirstLine(PQerrorMessage(conn_));
  return false;
}

PgLink::~PgLink() { PQfinish(conn_); }

bool PgLink::Connect(const std::string& conninfo, std::string* error) {
  PQfinish(conn_);
  conn_ = PQconnectdb(conninfo.c_str());
  if (PQstatus(conn_) == CONNECTION_OK) {
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);  // "already exists" notices
    // The fleet's statements are short index walks that the planner may still cost
    // high (one probe per machine): compiling them takes seconds and saves nothing.
    PQclear(PQexec(conn_, "SET jit = off"));
    return true;
  }
  *error = "PostgreSQL refused the connection: " + FirstLine(PQerrorMessage(conn_));
  return false;
}

bool PgLink::Ok() const { return conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK; }

bool PgLink::Exec(const std::string& sql, std::string* error) {
  PGresult* result = PQexec(conn_, sql.c_str());
  const ExecStatusType status = PQresultStatus(result);
  const bool ok = Settle(result, status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK, error);
  PQclear(result);
  return ok;
}

bool PgLink::Exec(const std::string& sql, const std::vector<std::optional<std::string>>& params,
                  std::string* error, std::vector<PgRow>* rows, std::vector<std::string>* columns) {
  std::vector<const char*> values;
  for (const auto& param : params) values.push_back(param ? param->c_str() : nullptr);
  PGresult* result = PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                  values.data(), nullptr, nullptr, 0);
  const ExecStatusType status = PQresultStatus(result);
  const bool ok = Settle(result, status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK, error);
  if (ok && columns != nullptr) {
    columns->clear();
    for (int c = 0; c < PQnfields(result); ++c) columns->push_back(PQfname(result, c));
  }
  if (ok && rows != nullptr) {
    rows->clear();
    for (int r = 0; r < PQntuples(result); ++r) {
      PgRow row;
      for (int c = 0; c < PQnfields(result); ++c)
        row.push_back(PQgetisnull(result, r, c) ? std::nullopt : std::optional<std::string>(PQgetvalue(result, r, c)));
      rows->push_back(std::move(row));
    }
  }
  PQclear(result);
  return ok;
}

bool PgLink::Copy(const std::string& sql, const std::string& data, std::string* error) {
  return CopyBegin(sql, error) && CopySend(data) && CopyEnd(error);
}

bool PgLink::CopyBegin(const std::string& sql, std::string* error) {
  PGresult* result = PQexec(conn_, sql.c_str());
  const bool started = Settle(result, PQresultStatus(result) == PGRES_COPY_IN, error);
  PQclear(result);
  return started;
}

bool PgLink::CopySend(std::string_view data) {
  return data.empty() || PQputCopyData(conn_, data.data(), static_cast<int>(data.size())) == 1;
}

bool PgLink::CopyEnd(std::string* error) {
  state_.clear();
  bool ok = PQputCopyEnd(conn_, nullptr) == 1;
  PGresult* result = nullptr;
  while ((result = PQgetResult(conn_)) != nullptr) {
    // The first refusal is the one that counts.
    if (ok && PQresultStatus(result) != PGRES_COMMAND_OK) ok = Settle(result, false, error);
    PQclear(result);
  }
  if (ok) state_.clear();
  else if (state_.empty()) Settle(nullptr, false, error);
  return ok;
}

}  // namespace Fleet
