#pragma once
// One PostgreSQL connection, closed when the object goes, and the few ways the fleet
// talks to it: statements with text parameters, their rows as text.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;

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

 private:
  pg_conn* conn_ = nullptr;
};

// "the first line of PostgreSQL's message"
std::string FirstLine(const std::string& text);

}  // namespace Fleet
