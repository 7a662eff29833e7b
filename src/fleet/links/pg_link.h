#pragma once
// One PostgreSQL connection, closed when the object goes, and the few ways the fleet
// talks to it: statements with text parameters, their rows as text.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace Fleet {

using PgRow = std::vector<std::optional<std::string>>;

class PgLink {
 public:
  PgLink() = default;
  ~PgLink();
  PgLink(const PgLink&) = delete;
  PgLink& operator=(const PgLink&) = delete;

  bool Connect(const std::string& conninfo, std::string* error);
  bool Ok() const;
  // Runs one statement (or several without parameters); false with the server's message.
  bool Exec(const std::string& sql, std::string* error);
  bool Exec(const std::string& sql, const std::vector<std::optional<std::string>>& params,
            std::string* error, std::vector<PgRow>* rows = nullptr, std::vector<std::string>* columns = nullptr);
  // Starts COPY ... FROM STDIN, sends data, ends it.
  bool Copy(const std::string& sql, const std::string& data, std::string* error);
  // The same in steps, so that the server reads one part while the next is made.
  bool CopyBegin(const std::string& sql, std::string* error);
  bool CopySend(std::string_view data);
  bool CopyEnd(std::string* error);

  // The SQLSTATE of the last failure ("08006" when the connection went), "" after success.
  const std::string& SqlState() const { return state_; }

 private:
  // Keeps the outcome of a statement: true when it succeeded.
  bool Settle(pg_result* result, bool ok, std::string* error);
  pg_conn* conn_ = nullptr;
  std::string state_;
};

// Whether PostgreSQL refused a statement for the data it was given (classes 22 and
// 23), other than a unique violation: a message that does so alone can never be
// stored. Any other refusal (a connection lost, a read-only or locked table, a
// revoked grant, a cancel) passes, and the same message is to be written again later.
bool IsDataRefusal(const std::string& sqlState);

// Whether a connection string carries a password (key=value or URI form): one given
// on a command line is visible to every process list, so the fleet commands refuse
// it and take the password from a password file or a service file instead.
bool ConninfoHasPassword(const std::string& conninfo);

// "the first line of PostgreSQL's message"
std::string FirstLine(const std::string& text);

}  // namespace Fleet
