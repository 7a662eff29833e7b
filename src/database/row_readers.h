#pragma once
// Typed views of query results, one per table that is read. Each knows its columns
// by name and resolves their positions on the first access after rows arrived, so
// the same reader serves "SELECT *" and narrower column lists: a column the query
// did not return reads as -1 (integers) or empty text.
//
// Accessors are named after their columns so that calling code reads like the
// schema. Rows are counted from 0. Integer accessors give -1 when the column is
// missing or nothing was collected, 0 for a row past the end.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "database/query_result.h"

namespace Database {

class RowReader {
 public:
  QueryResult& Result() { return result_; }
  const QueryResult& Result() const { return result_; }
  uint32_t Count() const { return result_.RowCount(); }
  bool HasRows() const { return Count() > 0; }
  bool IsEmpty() const { return Count() == 0; }

 protected:
  explicit RowReader(std::span<const char* const> columns);
  // column is the index into the reader's own column list.
  int32_t Int(size_t column, uint32_t row) const;
  std::u16string Text(size_t column, uint32_t row) const;

 private:
  int32_t Position(size_t column) const;

  QueryResult result_;
  std::span<const char* const> columns_;
  mutable std::vector<int32_t> positions_;
  mutable bool resolved_ = false;
};

class LoadPointRows : public RowReader {
 public:
  LoadPointRows() : RowReader(kColumns) {}
  int32_t KEY(uint32_t row) const { return Int(0, row); }
  int32_t LP_TYPE(uint32_t row) const { return Int(1, row); }
  std::u16string USER_ID(uint32_t row) const { return Text(2, row); }
  std::u16string ENTRY_NAME(uint32_t row) const { return Text(3, row); }
  std::u16string COMMAND_LINE(uint32_t row) const { return Text(4, row); }
  int32_t CHANGE_EVENT_KEY(uint32_t row) const { return Int(5, row); }
  std::u16string CREATION_TIME(uint32_t row) const { return Text(6, row); }
  int32_t INDIRECTION_KEY(uint32_t row) const { return Int(7, row); }
  std::u16string DISPLAY_NAME(uint32_t row) const { return Text(8, row); }

 private:
  static constexpr const char* kColumns[] = {
      "KEY", "LP_TYPE", "USER_ID", "ENTRY_NAME", "COMMAND_LINE", "CHANGE_EVENT_KEY",
      "CREATION_TIME", "INDIRECTION_KEY", "DISPLAY_NAME"};
};

class IndirectionRows : public RowReader {
 public:
  IndirectionRows() : RowReader(kColumns) {}
  int32_t KEY(uint32_t row) const { return Int(0, row); }
  int32_t LP_KEY(uint32_t row) const { return Int(1, row); }
  std::u16string ENTRY_NAME(uint32_t row) const { return Text(2, row); }
  std::u16string COMMAND_LINE(uint32_t row) const { return Text(3, row); }

 private:
  static constexpr const char* kColumns[] = {"KEY", "LP_KEY", "ENTRY_NAME", "COMMAND_LINE"};
};

class SystemSettingRows : public RowReader {
 public:
  SystemSettingRows() : RowReader(kColumns) {}
  int32_t KEY(uint32_t row) const { return Int(0, row); }
  int32_t TYPE(uint32_t row) const { return Int(1, row); }
  std::u16string USER_ID(uint32_t row) const { return Text(2, row); }
  std::u16string PATH(uint32_t row) const { return Text(3, row); }
  int32_t CHANGE_EVENT_KEY(uint32_t row) const { return Int(4, row); }
  std::u16string CURRENT_VALUE(uint32_t row) const { return Text(5, row); }

 private:
  static constexpr const char* kColumns[] = {"KEY",  "TYPE",         "USER_ID",
                                             "PATH", "CHANGE_EVENT_KEY", "CURRENT_VALUE"};
};

class FileExtensionRows : public RowReader {
 public:
  FileExtensionRows() : RowReader(kColumns) {}
  int32_t KEY(uint32_t row) const { return Int(0, row); }
  int32_t TYPE(uint32_t row) const { return Int(1, row); }
  std::u16string USER_ID(uint32_t row) const { return Text(2, row); }
  std::u16string ENTRY_ID(uint32_t row) const { return Text(3, row); }
  std::u16string VERB(uint32_t row) const { return Text(4, row); }
  std::u16string ENTRY_VALUE(uint32_t row) const { return Text(5, row); }
  int32_t CHANGE_EVENT_KEY(uint32_t row) const { return Int(6, row); }

 private:
  static constexpr const char* kColumns[] = {"KEY",  "TYPE",        "USER_ID",         "ENTRY_ID",
                                             "VERB", "ENTRY_VALUE", "CHANGE_EVENT_KEY"};
};

class DigitalSignatureRows : public RowReader {
 public:
  DigitalSignatureRows() : RowReader(kColumns) {}
  int32_t KEY(uint32_t row) const { return Int(0, row); }
  std::u16string SIGNER_NAME(uint32_t row) const { return Text(1, row); }
  std::u16string SIGNED_TIME(uint32_t row) const { return Text(2, row); }
  std::u16string SIGNER_EMAIL(uint32_t row) const { return Text(3, row); }
  std::u16string VALID(uint32_t row) const { return Text(4, row); }
  int32_t COUNTER_SIGNER_KEY(uint32_t row) const { return Int(5, row); }

 private:
  static constexpr const char* kColumns[] = {"KEY",          "SIGNER_NAME", "SIGNED_TIME",
                                             "SIGNER_EMAIL", "VALID",       "COUNTER_SIGNER_KEY"};
};

class NotifyListRows : public RowReader {
 public:
  NotifyListRows() : RowReader(kColumns) {}
  int32_t KEY(uint32_t row) const { return Int(0, row); }
  std::u16string NOTIFY_KEYS(uint32_t row) const { return Text(1, row); }
  // NOTIFY_KEYS split at ",": each piece as a decimal number (not a number or empty:
  // 0), in the order the keys were added. Empty text gives no keys.
  std::vector<int32_t> NotifyKeys(uint32_t row) const;

 private:
  static constexpr const char* kColumns[] = {"KEY", "NOTIFY_KEYS"};
};

}  // namespace Database
