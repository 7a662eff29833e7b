#include "reader/record/record_reader.h"
#include "sim/change_report.h"

namespace Sim {

bool ReadChangeHistory(const std::string& databaseHostPath, std::vector<ChangeReportRow>* rows,
                       std::string* error) {
  auto reader = Reader::RecordReader::Open(databaseHostPath, error);
  if (!reader) return false;
  if (reader->ReadAllEvents(rows) == Reader::ReadResult::Ok) return true;
  *error = reader->Error();
  return false;
}

std::string FormatReportJsonLines(const std::vector<ChangeReportRow>& rows) {
  std::string out;
  for (const ChangeReportRow& row : rows) out += Reader::EventJsonLine(row);
  return out;
}

}  // namespace Sim
